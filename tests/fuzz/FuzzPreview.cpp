// The preview on arbitrary DDS bytes, as the import shows Temp/PictureImportFile: the header
// check alone decides whether the library sees the file, a refused file is refused for the
// check's reason with nothing shown, and an accepted one is shown at its own size or reported
// undecodable, never crashing, hanging or reading past what the view presents.
#include <FreeImage.h>

#include <QImage>
#include <algorithm>

#include "container/FileIo.h"
#include "preview/DdsView.h"
#include "preview/Preview.h"
#include "tests/fuzz/Scratch.h"
#include "workfiles/WorkingFiles.h"

namespace fs = std::filesystem;
using namespace sodrel;
using namespace sodrel::fuzz;

namespace {

struct CountingSink : PictureSink {
  void ShowPicture(const QImage& picture) override {
    ++calls;
    size = picture.size();
  }
  int calls = 0;
  QSize size;
};

// Decodes the file as the preview does, through the view, and tells whether the library asked
// for bytes past what the view presents: the header check must account for every byte it reads.
bool DecodeReadsPastView(const fs::path& path, const DdsInfo& info, bool& decoded) {
  UniqueFd fd;
  std::uint64_t size = 0;
  if (OpenForReading(path, fd, size)) return true;
  DdsView view(fd.get(), 0, info);
  decoded = view.Load() != nullptr;
  return view.readPastEnd();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path& program = ProgramFolder();
  const std::span<const std::byte> bytes = AsBytes(data, size);
  const DdsInfo info = InspectDds(bytes.first(std::min(size, kDdsLongestHeaderBytes)), size);
  Write(WorkFilePath(program, WorkFile::PictureImportFile), bytes);

  CountingSink sink;
  const PreviewResult result = PreviewImported(program, sink);
  const std::set<std::string> left = Entries(WorkingFolder(program));
  if (!info.accepted()) {
    FUZZ_EXPECT(result.outcome == PreviewOutcome::Rejected);
    FUZZ_EXPECT(result.check == info.check);
    FUZZ_EXPECT(sink.calls == 0);
    FUZZ_EXPECT(left == std::set<std::string>{"PictureImportFile"});
    ClearExcept(WorkingFolder(program), {});
    return 0;
  }

  bool decoded = false;
  FUZZ_EXPECT(
      !DecodeReadsPastView(WorkFilePath(program, WorkFile::PictureImportFile), info, decoded));
  FUZZ_EXPECT(decoded == (result.outcome != PreviewOutcome::NotDecoded));
  if (result.shown()) {
    FUZZ_EXPECT(sink.calls == 1);
    FUZZ_EXPECT(sink.size == QSize(int(info.width), int(info.height)));
    FUZZ_EXPECT(left == (std::set<std::string>{"PictureImportFile", "PictureLoad.bmp"}));
  } else {
    FUZZ_EXPECT(result.outcome == PreviewOutcome::NotDecoded);
    FUZZ_EXPECT(sink.calls == 0);
    FUZZ_EXPECT(left == std::set<std::string>{"PictureImportFile"});
  }
  ClearExcept(WorkingFolder(program), {});
  return 0;
}
