#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "container/Outcome.h"

namespace sodrel::convert {

inline constexpr std::string_view kProgramName = "sodrel-convert";

// Batches of more than this many files show a progress bar on a terminal.
inline constexpr std::size_t kProgressThreshold = 20;

// Describe(outcome) with the input's size in place of its general bound:
// "too short to hold a texture (12 bytes)".
std::string Reason(ConvertOutcome outcome, std::optional<std::uint64_t> size = std::nullopt);

// What a batch reports on stderr: one line per failed file, a progress bar while it runs (on a
// terminal only), and a summary line ("12 exported, 1 failed") at the end.
class Report {
 public:
  explicit Report(std::string doneWord) : doneWord_(std::move(doneWord)) {}
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;

  // The batch of `total` files begins; `progress` allows the bar (never on stdout's listings).
  void Start(std::size_t total, bool progress);
  void Succeeded();
  // "path: reason: detail"; the detail (a system error message) may be empty.
  void Failed(const std::filesystem::path& path, std::string_view reason,
              std::string_view detail = {});
  void Failed(const std::filesystem::path& path, const ConvertResult& result,
              std::optional<std::uint64_t> size = std::nullopt);
  // A line about `path` that is no failure.
  void Note(const std::filesystem::path& path, std::string_view text);

  // Prints the summary and returns the exit status: 0 when nothing failed, 1 otherwise.
  // Output that could not be written to stdout counts as a failure.
  int Finish();

 private:
  void Advance();
  void Line(const std::string& text);
  void DrawBar();
  void ClearBar();

  std::string doneWord_;
  std::size_t total_ = 0;
  std::size_t processed_ = 0;
  std::size_t succeeded_ = 0;
  std::size_t failed_ = 0;
  bool bar_ = false;
  std::size_t barFilled_ = SIZE_MAX;
};

}  // namespace sodrel::convert
