#include "convert/Report.h"

#include <cstdio>

#include "io/FileStatus.h"
#include "io/Interrupt.h"

namespace sodrel::convert {
namespace {

constexpr std::size_t kBarWidth = 40;

void WriteErr(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace

std::string Says(const std::filesystem::path& path, std::string_view reason,
                 std::string_view detail) {
  std::string line = PathText(path) + ": " + std::string(reason);
  if (!detail.empty()) line += ": " + std::string(detail);
  return line;
}

void Complain(std::string_view text) {
  WriteErr(std::string(kProgramName) + ": " + std::string(text) + "\n");
}

void Report::Start(std::size_t total, bool progress) {
  total_ = total;
  bar_ = progress && !quiet_ && total > kProgressThreshold && ErrorStreamIsTerminal();
  if (bar_) DrawBar();
}

void Report::Add(const JobReport& job) {
  ++counts_[static_cast<int>(job.status)];
  if (!job.listing.empty()) {
    ClearBar();
    std::fwrite(job.listing.data(), 1, job.listing.size(), stdout);
    std::fputc('\n', stdout);
  }
  for (const std::string& warning : job.warnings) {
    if (!quiet_) Line(warning);
  }
  const bool said = !job.folderNotMade.empty() && !foldersNotMade_.insert(job.folderNotMade).second;
  if (!job.line.empty() && !said && (job.status == JobStatus::Failed || !quiet_)) Line(job.line);
  if (processed_ < total_) ++processed_;
  if (bar_) DrawBar();
}

void Report::Failed(std::string_view line) {
  ++counts_[static_cast<int>(JobStatus::Failed)];
  Line(line);
}

void Report::Note(std::string_view line) {
  if (!quiet_) Line(line);
}

int Report::Finish() {
  ClearBar();
  bar_ = false;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    ++counts_[static_cast<int>(JobStatus::Failed)];
    Complain("cannot write to standard output");
  }
  const int signal = InterruptSignal();
  if (signal != 0) {
    Complain(std::string("interrupted by ") + InterruptName(signal) + ", " +
             std::to_string(total_ - processed_ + counts_[0]) + " not done");
  }
  const auto count = [&](JobStatus status) { return counts_[static_cast<int>(status)]; };
  std::string summary = std::to_string(count(JobStatus::Done)) + " " + doneWord_;
  if (count(JobStatus::Kept) > 0)
    summary += ", " + std::to_string(count(JobStatus::Kept)) + " kept";
  if (count(JobStatus::Skipped) > 0) {
    summary += ", " + std::to_string(count(JobStatus::Skipped)) + " skipped";
  }
  summary += ", " + std::to_string(count(JobStatus::Failed)) + " failed";
  if (!quiet_) Complain(summary);
  if (signal != 0) return 128 + signal;
  return count(JobStatus::Failed) == 0 ? 0 : 1;
}

void Report::Line(std::string_view text) {
  ClearBar();
  std::fflush(stdout);
  Complain(text);
  barFilled_ = SIZE_MAX;
}

void Report::DrawBar() {
  const std::size_t filled = total_ == 0 ? kBarWidth : processed_ * kBarWidth / total_;
  if (filled == barFilled_ && processed_ != total_) return;
  barFilled_ = filled;
  WriteErr("\r[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "] " +
           std::to_string(processed_) + "/" + std::to_string(total_));
}

void Report::ClearBar() {
  if (bar_) WriteErr("\r\033[K");
}

}  // namespace sodrel::convert
