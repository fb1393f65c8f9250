#pragma once

#include <cstdint>
#include <span>

#include "tests/support/TestFiles.h"

namespace sodrel::fuzz {

// A program folder (Temp/ and a header template) for this fuzzing process, under $TMPDIR (the
// run script points it at memory), removed when the process exits.
const std::filesystem::path& ProgramFolder();

std::span<const std::byte> AsBytes(const std::uint8_t* data, std::size_t size);
void Write(const std::filesystem::path& path, std::span<const std::byte> bytes);
using test::Entries;
// Removes every entry of `folder` except those named in `keep`.
void ClearExcept(const std::filesystem::path& folder, const std::set<std::string>& keep);

// Reports a broken expectation and aborts, which libFuzzer records as a crash with its input.
[[noreturn]] void Fail(const char* expectation, const char* file, int line);

}  // namespace sodrel::fuzz

#define FUZZ_EXPECT(condition) \
  ((condition) ? void(0) : ::sodrel::fuzz::Fail(#condition, __FILE__, __LINE__))
