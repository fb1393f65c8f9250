#include "bench/Measure.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>

extern char** environ;

namespace sodrel::bench {
namespace {

double NowMs() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

}  // namespace

RunResult RunTimed(const Command& command) {
  RunResult result;
  std::vector<char*> argv;
  for (const std::string& arg : command.argv) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!command.output.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, command.output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  const double start = NowMs();
  pid_t pid = 0;
  const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(spawned));
    return result;
  }
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) return result;
  }
  result.ms = NowMs() - start;
  result.peakRssMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;  // Linux reports KiB
  result.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return result;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

CaseSummary Summarize(std::string name, const std::vector<RunResult>& ours,
                      const std::vector<RunResult>& peer) {
  CaseSummary summary;
  summary.name = std::move(name);
  const std::size_t pairs = std::min(ours.size(), peer.size());
  summary.runs = static_cast<int>(pairs);
  std::vector<double> oursMs, peerMs, ratios;
  for (std::size_t i = 0; i < pairs; ++i) {
    oursMs.push_back(ours[i].ms);
    peerMs.push_back(peer[i].ms);
    if (peer[i].ms > 0) ratios.push_back(ours[i].ms / peer[i].ms);
    summary.peakRssMiB = std::max(summary.peakRssMiB, ours[i].peakRssMiB);
  }
  summary.oursMs = Median(oursMs);
  summary.peerMs = Median(peerMs);
  summary.ratio = Median(ratios);
  return summary;
}

std::string MachineLine(const CaseSummary& summary) {
  char line[256];
  std::snprintf(
      line, sizeof line, "bench %s ours_ms=%.1f peer_ms=%.1f ratio=%.3f peak_rss_mib=%.1f",
      summary.name.c_str(), summary.oursMs, summary.peerMs, summary.ratio, summary.peakRssMiB);
  if (!summary.bytesRead) return line;
  return line + (" bytes_read=" + std::to_string(*summary.bytesRead));
}

std::optional<std::uint64_t> BytesRead(const Command& command, const std::filesystem::path& input,
                                       const std::filesystem::path& log) {
  Command traced{{"strace", "-f", "-qq", "-e", "trace=openat,close,read,pread64", "-o", log}, {}};
  traced.argv.insert(traced.argv.end(), command.argv.begin(), command.argv.end());
  if (!RunTimed(traced).succeeded) return std::nullopt;
  // "[pid] call(arguments) = result", one a line; the arguments of a read start with its
  // descriptor, those of an openat hold the path in quotes.
  static const std::regex kCall(R"(^(?:\d+ +)?(openat|close|read|pread64)\((.*)\) += (-?\d+).*)");
  const std::string quoted = "\"" + input.string() + "\"";
  std::set<long> open;
  std::uint64_t total = 0;
  std::ifstream lines(log);
  bool tracedAny = false;
  for (std::string line; std::getline(lines, line);) {
    std::smatch call;
    if (!std::regex_match(line, call, kCall)) continue;
    tracedAny = true;
    const long result = std::stol(call[3]);
    if (call[1] == "openat") {
      if (result >= 0 && call[2].str().find(quoted) != std::string::npos) open.insert(result);
    } else if (call[1] == "close") {
      open.erase(std::stol(call[2]));
    } else if (result > 0 && open.count(std::stol(call[2])) != 0) {
      total += static_cast<std::uint64_t>(result);
    }
  }
  if (!tracedAny) return std::nullopt;
  return total;
}

}  // namespace sodrel::bench
