// sodrel-bench-preview CURRENT_PATH PROGRAM_FOLDER WIDTH HEIGHT
//
// One preview of an exported texture without the window: what the window's preview does after
// an export (copy CURRENT_PATH.dds into Temp/, decode, write the BMP, load the picture), with a
// sink that only keeps the picture and draws it at the size of the window's preview area. WIDTH
// and HEIGHT are the texture's: fails unless the picture shown has them, each bounded by that
// area's.
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dds/DdsNames.h"
#include "preview/PictureSink.h"
#include "preview/Preview.h"

namespace {

class KeepingSink : public sodrel::PictureSink {
 public:
  void ShowPicture(const QImage& picture) override { picture_ = picture; }
  QSize drawnSize() const override { return {1329, 561}; }
  const QImage& picture() const { return picture_; }

 private:
  QImage picture_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: sodrel-bench-preview CURRENT_PATH PROGRAM_FOLDER WIDTH HEIGHT\n");
    return 2;
  }
  KeepingSink sink;
  const sodrel::PreviewResult result = sodrel::PreviewExported(argv[1], argv[2], sink);
  if (!result.ok()) {
    std::fprintf(stderr, "preview: %s", std::string(sodrel::Describe(result.outcome)).c_str());
    if (result.outcome == sodrel::PreviewOutcome::Rejected) {
      std::fprintf(stderr, " (%s)", std::string(sodrel::Describe(result.check)).c_str());
    }
    std::fprintf(stderr, "\n");
    return 1;
  }
  const int width = std::min(std::atoi(argv[3]), sink.drawnSize().width());
  const int height = std::min(std::atoi(argv[4]), sink.drawnSize().height());
  if (sink.picture().width() != width || sink.picture().height() != height) {
    std::fprintf(stderr, "preview: the picture is %d x %d, not %d x %d\n", sink.picture().width(),
                 sink.picture().height(), width, height);
    return 1;
  }
  return 0;
}
