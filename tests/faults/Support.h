#pragma once

#include <QColor>
#include <QImage>
#include <filesystem>
#include <string>
#include <vector>

#include "preview/PictureSink.h"
#include "tests/support/DdsWriter.h"

namespace sodrel::test {

// Records the pictures the preview shows.
struct RecordingSink : PictureSink {
  void ShowPicture(const QImage& shown) override {
    ++calls;
    picture = shown;
  }
  // The colour of the top-left pixel of the last picture shown.
  Rgb colour() const {
    const QColor c = picture.pixelColor(0, 0);
    return {c.red(), c.green(), c.blue()};
  }
  int calls = 0;
  QImage picture;
};

// Every entry under `folder`, at any depth, named like an unfinished output
// (".NAME.part-XXXXXXXX").
inline std::vector<std::string> TemporaryFilesUnder(const std::filesystem::path& folder) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.path().filename().string().find(".part-") != std::string::npos) {
      found.push_back(entry.path().string());
    }
  }
  return found;
}

}  // namespace sodrel::test
