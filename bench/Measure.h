#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sodrel::bench {

// One program to start: argv[0] is looked up on PATH unless it holds a '/'. When `output` is
// set, standard output goes to that file (created or truncated by the child, as a shell's
// `> output` does, so the peer commands pay what they pay when typed).
struct Command {
  std::vector<std::string> argv;
  std::filesystem::path output;
};

struct RunResult {
  double ms = 0;           // wall time from before the start to after the exit
  double peakRssMiB = 0;   // the child's peak resident memory
  bool succeeded = false;  // started, and exited with status 0
};

RunResult RunTimed(const Command& command);

double Median(std::vector<double> values);

struct CaseSummary {
  std::string name;
  int runs = 0;
  double oursMs = 0;                       // median of our runs
  double peerMs = 0;                       // median of the peer's runs
  double ratio = 0;                        // median of the pairwise ratios ours / peer
  double peakRssMiB = 0;                   // the highest peak over our runs
  std::optional<std::uint64_t> bytesRead;  // what one run of ours read from its input
};

// `ours` and `peer` are the counted runs in the order they alternated; pair i is ours[i], peer[i].
CaseSummary Summarize(std::string name, const std::vector<RunResult>& ours,
                      const std::vector<RunResult>& peer);

// "bench <case> ours_ms=<n> peer_ms=<n> ratio=<n> peak_rss_mib=<n>", then " bytes_read=<n>"
// when it was counted.
std::string MachineLine(const CaseSummary& summary);

// Runs `command` once under strace, its calls logged into `log`, and adds up the bytes its read
// and pread64 calls returned from descriptors opened on `input`. Nullopt when it did not run or
// strace could not trace it.
std::optional<std::uint64_t> BytesRead(const Command& command, const std::filesystem::path& input,
                                       const std::filesystem::path& log);

}  // namespace sodrel::bench
