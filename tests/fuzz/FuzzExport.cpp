// The export on arbitrary container bytes: the output is exactly bytes 64 to the end, or there is
// no new output; whatever stood at the output's name before is replaced whole or left as it was,
// a link's target is never written, and no temporary file is left.
#include <unistd.h>

#include <algorithm>

#include "container/TextureContainer.h"
#include "tests/fuzz/Scratch.h"

namespace fs = std::filesystem;
using namespace sodrel;
using namespace sodrel::fuzz;

namespace {

// What stands at the output's name before the export.
enum class Before { Nothing, EarlierExport, LinkToAnotherFile };

const Bytes kEarlier(100, std::byte{0xEE});

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path& folder = ProgramFolder();
  const fs::path container = folder / "texture.bin";
  const fs::path output = WithSuffix(container, kExportSuffix);
  const fs::path victim = folder / "victim";
  // The header is opaque to the export, so its first byte may pick the case.
  const auto before = static_cast<Before>(size == 0 ? 0 : data[0] % 3);

  const std::span<const std::byte> bytes = AsBytes(data, size);
  Write(container, bytes);
  if (before == Before::EarlierExport) Write(output, kEarlier);
  if (before == Before::LinkToAnotherFile) {
    Write(victim, kEarlier);
    FUZZ_EXPECT(::symlink(victim.c_str(), output.c_str()) == 0);
  }

  const ConvertResult result = ExportTexture(container);
  std::set<std::string> expected = {"Temp", "texture.bin"};
  if (size > kContainerHeaderSize) {
    FUZZ_EXPECT(result.written());
    FUZZ_EXPECT(!fs::is_symlink(output));
    const Bytes got = Read(output);
    FUZZ_EXPECT(
        std::equal(got.begin(), got.end(), bytes.begin() + kContainerHeaderSize, bytes.end()));
    expected.insert("texture.bin.dds");
  } else {
    FUZZ_EXPECT(result.outcome == ConvertOutcome::InputTooShort);
    if (before == Before::Nothing) FUZZ_EXPECT(!fs::exists(fs::symlink_status(output)));
    if (before == Before::EarlierExport) FUZZ_EXPECT(Read(output) == kEarlier);
    if (before == Before::LinkToAnotherFile) FUZZ_EXPECT(fs::is_symlink(output));
    if (before != Before::Nothing) expected.insert("texture.bin.dds");
  }
  if (before == Before::LinkToAnotherFile) {
    FUZZ_EXPECT(Read(victim) == kEarlier);
    expected.insert("victim");
  }
  FUZZ_EXPECT(Entries(folder) == expected);
  FUZZ_EXPECT(Entries(folder / "Temp").empty());

  ClearExcept(folder, {"Temp"});
  return 0;
}
