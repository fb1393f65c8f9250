// The preview on arbitrary DDS bytes, as the import shows Temp/PictureImportFile: the header
// check alone decides whether the library sees the file, a refused file is refused for the
// check's reason with nothing shown, and an accepted one is shown at its own size or reported
// undecodable, never crashing, hanging or reading past what the view presents.
#include <FreeImage.h>

#include <QImage>
#include <algorithm>
#include <cstdio>

#include "dds/DdsView.h"
#include "io/FileIo.h"
#include "preview/DdsDecode.h"
#include "preview/Preview.h"
#include "tests/support/RecordingSink.h"
#include "workfiles/WorkingFiles.h"

namespace fs = std::filesystem;
using namespace sodrel;
using namespace sodrel::test;

// Reports a broken expectation and aborts, which libFuzzer records as a crash with its input.
#define FUZZ_EXPECT(condition) ((condition) ? void(0) : Fail(#condition, __LINE__))

namespace {

[[noreturn]] void Fail(const char* expectation, int line) {
  std::fprintf(stderr, "FuzzPreview.cpp:%d: expected %s\n", line, expectation);
  std::abort();
}

// Decodes the file as the preview does, through the view, and tells whether the library asked
// for bytes past what the view presents: the header check must account for every byte it reads.
bool DecodeReadsPastView(const fs::path& path, const DdsInfo& info, bool& decoded) {
  InputFile file;
  if (!file.Open(path).ok()) return true;
  DdsView view(file.fd(), 0, info);
  decoded = LoadView(view) != nullptr;
  return view.readPastEnd();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Under $TMPDIR, which the run script points at memory; removed when the process exits.
  static const ProgramFolder folder;
  const fs::path& program = folder.path();
  const Bytes bytes(reinterpret_cast<const std::byte*>(data),
                    reinterpret_cast<const std::byte*>(data) + size);
  const DdsInfo info =
      InspectDds(std::span(bytes).first(std::min(size, kDdsLongestHeaderBytes)), size);
  WriteFile(WorkFilePath(program, WorkFile::PictureImportFile), bytes);

  RecordingSink sink;
  const PreviewResult result = PreviewImported(program, sink);
  if (!info.ok()) {
    FUZZ_EXPECT(result.outcome == PreviewOutcome::Rejected && result.check == info.check);
  } else {
    bool decoded = false;
    FUZZ_EXPECT(
        !DecodeReadsPastView(WorkFilePath(program, WorkFile::PictureImportFile), info, decoded));
    FUZZ_EXPECT(decoded == (result.outcome != PreviewOutcome::NotDecoded));
    FUZZ_EXPECT(result.ok() || result.outcome == PreviewOutcome::NotDecoded);
  }
  FUZZ_EXPECT(sink.calls == int(result.ok()));
  FUZZ_EXPECT(!result.ok() || sink.picture.size() == QSize(int(info.width), int(info.height)));
  std::set<std::string> left{"PictureImportFile"};
  if (result.ok()) left.insert("PictureLoad.bmp");
  FUZZ_EXPECT(Entries(WorkingFolder(program)) == left);
  fs::remove_all(WorkingFolder(program)), fs::create_directory(WorkingFolder(program));
  return 0;
}
