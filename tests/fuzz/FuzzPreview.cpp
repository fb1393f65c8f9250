// The preview on arbitrary DDS bytes, as the import shows Temp/PictureImportFile: the header
// check alone decides whether the library sees the file, a refused file is refused for the
// check's reason with nothing shown, and an accepted one is shown or reported undecodable, never
// crashing, hanging or reading past the end of the file.
#include <FreeImage.h>

#include <QImage>
#include <algorithm>
#include <cstring>

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

// The file in memory, for the library to read through FreeImageIO, noting any read that runs
// past its end: ASan cannot see the library's file reads, and the header check must account for
// every byte the library reads.
struct MemoryFile {
  std::span<const std::byte> bytes;
  std::uint64_t at = 0;
  bool readPastEnd = false;

  static unsigned DLL_CALLCONV Read(void* buffer, unsigned size, unsigned count, fi_handle h) {
    auto& file = *static_cast<MemoryFile*>(h);
    const std::uint64_t want = std::uint64_t{size} * count;
    const std::uint64_t left = file.at < file.bytes.size() ? file.bytes.size() - file.at : 0;
    if (want > left) file.readPastEnd = true;
    const std::uint64_t items = size == 0 ? 0 : std::min(want, left) / size;
    if (items > 0) std::memcpy(buffer, file.bytes.data() + file.at, items * size);
    file.at += items * size;
    return static_cast<unsigned>(items);
  }
  static int DLL_CALLCONV Seek(fi_handle h, long offset, int origin) {
    auto& file = *static_cast<MemoryFile*>(h);
    const std::int64_t base = origin == SEEK_SET   ? 0
                              : origin == SEEK_CUR ? static_cast<std::int64_t>(file.at)
                                                   : static_cast<std::int64_t>(file.bytes.size());
    if (base + offset < 0) return -1;
    file.at = static_cast<std::uint64_t>(base + offset);
    return 0;
  }
  static long DLL_CALLCONV Tell(fi_handle h) {
    return static_cast<long>(static_cast<MemoryFile*>(h)->at);
  }
};

// Decodes `bytes` as the preview does and tells whether the library read past their end.
bool DecodeReadsPastEnd(std::span<const std::byte> bytes, bool& decoded) {
  MemoryFile file{bytes};
  FreeImageIO io{&MemoryFile::Read, nullptr, &MemoryFile::Seek, &MemoryFile::Tell};
  FIBITMAP* dib = FreeImage_LoadFromHandle(FIF_DDS, &io, &file, 0);
  decoded = dib != nullptr;
  if (dib != nullptr) FreeImage_Unload(dib);
  return file.readPastEnd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path& program = ProgramFolder();
  const std::span<const std::byte> bytes = AsBytes(data, size);
  const DdsInfo info = InspectDds(bytes.first(std::min(size, kDdsHeaderBytes)), size);
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
  FUZZ_EXPECT(!DecodeReadsPastEnd(bytes, decoded));
  FUZZ_EXPECT(decoded == (result.outcome != PreviewOutcome::NotDecoded));
  if (result.shown()) {
    FUZZ_EXPECT(sink.calls == 1);
    // Block formats lose the part blocks at the right and bottom edges, nothing more.
    FUZZ_EXPECT(sink.size.width() >= 1 && std::uint32_t(sink.size.width()) <= info.width);
    FUZZ_EXPECT(sink.size.height() >= 1 && std::uint32_t(sink.size.height()) <= info.height);
    FUZZ_EXPECT(left == (std::set<std::string>{"PictureImportFile", "PictureLoad.bmp"}));
  } else {
    FUZZ_EXPECT(result.outcome == PreviewOutcome::NotDecoded);
    FUZZ_EXPECT(sink.calls == 0);
    FUZZ_EXPECT(left == std::set<std::string>{"PictureImportFile"});
  }
  ClearExcept(WorkingFolder(program), {});
  return 0;
}
