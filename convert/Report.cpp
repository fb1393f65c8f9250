#include "convert/Report.h"

#include <unistd.h>

#include <cstdio>

namespace sodrel::convert {
namespace {

constexpr std::size_t kBarWidth = 40;

void WriteErr(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace

std::string Reason(ConvertOutcome outcome, std::optional<std::uint64_t> size) {
  std::string text(Describe(outcome));
  if (!size) return text;
  if (!text.empty() && text.back() == ')') {
    if (const std::size_t open = text.rfind(" ("); open != std::string::npos) text.erase(open);
  }
  return text + " (" + std::to_string(*size) + (*size == 1 ? " byte)" : " bytes)");
}

void Report::Start(std::size_t total, bool progress) {
  total_ = total;
  bar_ = progress && total > kProgressThreshold && ::isatty(STDERR_FILENO) == 1;
  if (bar_) DrawBar();
}

void Report::Succeeded() {
  ++succeeded_;
  Advance();
}

void Report::Failed(const std::filesystem::path& path, std::string_view reason,
                    std::string_view detail) {
  ++failed_;
  std::string line = path.native() + ": " + std::string(reason);
  if (!detail.empty()) line += ": " + std::string(detail);
  Line(line);
  Advance();
}

void Report::Failed(const std::filesystem::path& path, const ConvertResult& result,
                    std::optional<std::uint64_t> size) {
  Failed(path, Reason(result.outcome, size), result.error ? result.error.message() : "");
}

void Report::Note(const std::filesystem::path& path, std::string_view text) {
  Line(path.native() + ": " + std::string(text));
}

int Report::Finish() {
  ClearBar();
  bar_ = false;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    ++failed_;
    WriteErr(std::string(kProgramName) + ": cannot write to standard output\n");
  }
  WriteErr(std::to_string(succeeded_) + " " + doneWord_ + ", " + std::to_string(failed_) +
           " failed\n");
  return failed_ == 0 ? 0 : 1;
}

void Report::Advance() {
  // Failures found before the batch starts (an unreadable folder) are not part of its progress.
  if (processed_ < total_) ++processed_;
  if (bar_) DrawBar();
}

void Report::Line(const std::string& text) {
  ClearBar();
  std::fflush(stdout);
  WriteErr(text + "\n");
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
