#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace sodrel::convert {

inline constexpr std::string_view kProgramName = "sodrel-convert";

// Batches of more than this many files show a progress bar on a terminal.
inline constexpr std::size_t kProgressThreshold = 20;

// "PATH: reason" or "PATH: reason: detail" (the detail, a system error's message, may be empty).
std::string Says(const std::filesystem::path& path, std::string_view reason,
                 std::string_view detail = {});
// Writes "sodrel-convert: TEXT" as one line on stderr: every line on stderr looks so.
void Complain(std::string_view text);

// What one file of a batch came to, and the lines that say so.
enum class JobStatus { NotDone, Done, Kept, Skipped, Failed };
struct [[nodiscard]] JobReport {
  JobStatus status = JobStatus::NotDone;
  std::string listing;  // a dry run's line on stdout: the output, marked when it exists
  std::vector<std::string> warnings;  // beside a success: "PATH: warning: ..."
  std::string line;                   // why it failed, was skipped or was kept: "PATH: reason"
  // An output folder that could not be made: its line is said for the first output in it only.
  std::filesystem::path folderNotMade;
};
inline JobReport Reported(JobStatus status, std::string line = {}) {
  JobReport report;
  report.status = status;
  report.line = std::move(line);
  return report;
}
inline JobReport Listed(JobStatus status, std::string listing) {
  JobReport report;
  report.status = status;
  report.listing = std::move(listing);
  return report;
}

// What a batch reports: each file's lines in input order (failures always, the rest unless
// quiet), a progress bar while it runs (on a terminal only), and a summary line at the end
// ("12 exported, 2 kept, 1 skipped, 1 failed"; kept and skipped only when there are some).
class Report {
 public:
  Report(std::string doneWord, bool quiet) : doneWord_(std::move(doneWord)), quiet_(quiet) {}
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;

  // The batch of `total` files begins; `progress` allows the bar (never on stdout's listings).
  void Start(std::size_t total, bool progress);
  void Add(const JobReport& job);
  // A failure outside the batch's files (a folder that cannot be read).
  void Failed(std::string_view line);
  // A line that is no failure.
  void Note(std::string_view line);

  // Prints the summary and returns the exit status: 0 when nothing failed, 1 otherwise, 128 +
  // the signal's number when an interrupt stopped the batch. Output that could not be written to
  // stdout counts as a failure.
  int Finish();

 private:
  void Line(std::string_view text);
  void DrawBar();
  void ClearBar();

  std::string doneWord_;
  bool quiet_ = false;
  std::size_t total_ = 0;
  std::size_t processed_ = 0;
  std::size_t counts_[5] = {};  // by JobStatus
  bool bar_ = false;
  std::size_t barFilled_ = SIZE_MAX;
  std::set<std::filesystem::path> foldersNotMade_;
};

}  // namespace sodrel::convert
