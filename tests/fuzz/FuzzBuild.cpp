// The import's build on arbitrary DDS bytes and header templates: after staging the file, the
// container is exactly the template's first 64 bytes (zero-padded) followed by the file, or an
// empty file builds nothing; no temporary file is left in the folder or in Temp/.
#include <algorithm>

#include "container/TextureContainer.h"
#include "tests/fuzz/Scratch.h"
#include "workfiles/WorkingFiles.h"

namespace fs = std::filesystem;
using namespace sodrel;
using namespace sodrel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path& program = ProgramFolder();
  const fs::path dds = program / "texture.dds";
  const fs::path container = WithSuffix(dds, kBuildSuffix);
  const std::span<const std::byte> bytes = AsBytes(data, size);

  // A template of 0 to 99 bytes, cut from the file itself: shorter ones are padded with zeros.
  const std::span<const std::byte> templ = bytes.first(std::min<std::size_t>(size, size % 100));
  Write(HeaderTemplatePath(program), templ);
  Write(dds, bytes);

  FUZZ_EXPECT(!StageCopy(dds, program, WorkFile::ImportFile));
  const ConvertResult result = BuildContainer(dds, program);
  std::set<std::string> expected = {"KX00.dll", "Temp", "texture.dds"};
  if (size == 0) {
    FUZZ_EXPECT(result.outcome == ConvertOutcome::InputEmpty);
  } else {
    FUZZ_EXPECT(result.written());
    Bytes want(kContainerHeaderSize, std::byte{0});
    std::copy_n(templ.begin(), std::min(templ.size(), kContainerHeaderSize), want.begin());
    want.insert(want.end(), bytes.begin(), bytes.end());
    FUZZ_EXPECT(Read(container) == want);
    expected.insert("texture.dds.bin");
  }
  FUZZ_EXPECT(Entries(program) == expected);
  FUZZ_EXPECT(Entries(WorkingFolder(program)) == std::set<std::string>{"ImportFile"});
  FUZZ_EXPECT(Read(WorkFilePath(program, WorkFile::ImportFile)).size() == size);

  ClearExcept(program, {"Temp"});
  ClearExcept(WorkingFolder(program), {});
  return 0;
}
