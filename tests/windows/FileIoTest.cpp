#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "io/AtomicOutput.h"
#include "io/FileIo.h"
#include "tests/support/TestFiles.h"

// The Windows file layer: outputs committed by MoveFileExW, inputs held against writers, every
// name wide and not ASCII.
namespace sodrel {
namespace {

using test::Bytes;
using test::Pattern;

std::size_t EntryCount(const std::filesystem::path& folder) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

struct Output {
  OutputMode mode;
  bool present;  // a file appears at the destination after the output was opened
  bool stop;     // the run was interrupted before the commit
  std::errc error;
  const char* kept;  // what the destination holds afterwards: "new", "old" or "none"
};

TEST(WindowsFiles, OutputsCommitWholeReplaceOnlyWhereAllowedAndLeaveNoTemporary) {
  const Output cases[] = {
      {OutputMode::Replace, false, false, std::errc(), "new"},
      {OutputMode::Replace, true, false, std::errc(), "new"},
      {OutputMode::FillPlaceholder, true, false, std::errc(), "new"},
      {OutputMode::Keep, false, false, std::errc(), "new"},
      {OutputMode::Keep, true, false, std::errc::file_exists, "old"},
      {OutputMode::Replace, true, true, std::errc::interrupted, "old"},
      {OutputMode::Keep, false, true, std::errc::interrupted, "none"},
  };
  const Bytes fresh = Pattern(3000, 1), old = Pattern(10, 2);
  for (const Output& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode) * 100 + c.present * 10 + c.stop);
    test::TempFolder folder;
    const std::filesystem::path sub = folder.path() / L"S\u00fcd \u0436";
    create_directory(sub);
    const std::filesystem::path destination = sub / L"t\u00ebxture \u4e2d.bin";
    AtomicOutput output(destination, c.mode);
    ASSERT_TRUE(output.Open().ok());
    ASSERT_TRUE(WriteAll(output.fd(), fresh).ok());
    if (c.present) test::WriteFile(destination, old);
    std::atomic<int> flag{c.stop ? 1 : 0};
    const IoResult committed = output.Commit(Stop(flag));
    EXPECT_EQ(committed.ok(), c.error == std::errc());
    if (c.error != std::errc()) {
      EXPECT_EQ(committed.error, c.error);
    }
    const std::string kept = c.kept;
    EXPECT_EQ(EntryCount(sub), kept == "none" ? 0u : 1u);
    if (kept != "none") {
      EXPECT_EQ(test::ReadFile(destination), kept == "new" ? fresh : old);
    }
  }
}

TEST(WindowsFiles, AnInputIsHeldAgainstWritersAndReadAtItsOffsets) {
  test::TempFolder folder;
  const std::filesystem::path name = folder.path() / L"\u00e4\u0444.bin";
  const Bytes bytes = Pattern(5000, 3);
  test::WriteFile(name, bytes);

  InputFile in;
  ASSERT_TRUE(in.Open(name).ok());
  EXPECT_EQ(in.size(), bytes.size());
  const HANDLE writer =
      ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(::MoveFileExW(name.c_str(), (folder.path() / L"other").c_str(), 0));
  Bytes part(100);
  std::size_t got = 0;
  ASSERT_TRUE(ReadAt(in.fd(), 4950, part, got).ok());
  EXPECT_EQ(got, 50u);
  EXPECT_EQ(Bytes(part.begin(), part.begin() + 50), test::Slice(bytes, 4950));
  EXPECT_TRUE(in.Unchanged().ok());

  // A file someone has open for writing is refused as in use, not read half-written.
  InputFile busy;
  const HANDLE open = ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(open, INVALID_HANDLE_VALUE);  // still held by `in`
  in = InputFile();
  const HANDLE later = ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(later, INVALID_HANDLE_VALUE);
  const IoResult refused = busy.Open(name);
  EXPECT_EQ(refused.outcome, IoOutcome::ReadFailed);
  EXPECT_EQ(refused.error, std::errc::device_or_resource_busy);
  ::CloseHandle(later);
}

}  // namespace
}  // namespace sodrel
