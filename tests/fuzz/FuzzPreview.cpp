// The preview on arbitrary DDS bytes, as the import shows Temp/PictureImportFile: the header
// check alone decides whether the library sees the file, a refused file is refused for the
// check's reason with nothing shown, and an accepted one is shown at its own size or reported
// undecodable, never crashing, hanging or reading past what the view presents.
#include <FreeImage.h>

#include <QImage>
#include <algorithm>
#include <cstdio>

#include "io/FileIo.h"
#include "preview/DdsDecode.h"
#include "preview/DdsView.h"
#include "preview/Preview.h"
#include "tests/support/RecordingSink.h"
#include "workfiles/WorkingFiles.h"

namespace fs = std::filesystem;
using namespace sodrel;
using namespace sodrel::test;

// Reports a broken expectation and aborts, which libFuzzer records as a crash with its input.
#define FUZZ_EXPECT(condition)                                                                     \
  ((condition) ? void(0)                                                                           \
               : (std::fprintf(stderr, "FuzzPreview.cpp:%d: expected %s\n", __LINE__, #condition), \
                  std::abort()))

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Under $TMPDIR, which the run script points at memory; removed when the process exits.
  static const ProgramFolder folder;
  const fs::path& program = folder.path();
  const Bytes bytes(reinterpret_cast<const std::byte*>(data),
                    reinterpret_cast<const std::byte*>(data) + size);
  const DdsTexture info =
      InspectDds(std::span(bytes).first(std::min(size, kDdsLongestHeaderBytes)), size);
  WriteFile(WorkFilePath(program, WorkFile::PictureImportFile), bytes);

  RecordingSink sink;
  const PreviewResult result = PreviewImported(program, sink);
  if (!info.ok()) {
    FUZZ_EXPECT(result.outcome == PreviewOutcome::Rejected && result.check == info.check);
  } else {
    // Decoded as the preview does, through the view: the library reads no byte past what the
    // view presents, for the header check must account for every byte it reads.
    InputFile file;
    FUZZ_EXPECT(file.Open(WorkFilePath(program, WorkFile::PictureImportFile)).ok());
    DdsView view(file.fd(), 0, info, info.top());
    const bool decoded = LoadView(view) != nullptr;
    FUZZ_EXPECT(!view.readPastEnd());
    FUZZ_EXPECT(decoded == (result.outcome != PreviewOutcome::NotDecoded));
    FUZZ_EXPECT(result.ok() || result.outcome == PreviewOutcome::NotDecoded);
  }
  FUZZ_EXPECT(sink.calls == int(result.ok()));
  FUZZ_EXPECT(!result.ok() ||
              sink.picture.size() == QSize(int(info.header.width), int(info.header.height)));
  std::set<std::string> left{"PictureImportFile"};
  if (result.ok()) left.insert("PictureLoad.bmp");
  FUZZ_EXPECT(Entries(WorkingFolder(program)) == left);
  fs::remove_all(WorkingFolder(program)), fs::create_directory(WorkingFolder(program));
  return 0;
}
