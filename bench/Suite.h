#pragma once

#include <filesystem>
#include <string>

namespace sodrel::bench {

struct SuiteOptions {
  bool quick = false;          // tiny sizes and one counted run: a check that everything works
  int warmups = 1;             // uncounted rounds before the counted ones
  int runs = 5;                // counted rounds; each runs ours, then the peer
  std::string only;            // when set, only the cases whose name starts with it
  std::filesystem::path work;  // an empty folder; every file made is removed again
  std::filesystem::path benchProgram;    // sodrel-bench, run for each export and build
  std::filesystem::path previewProgram;  // sodrel-bench-preview, run for each preview
  std::filesystem::path convertProgram;  // sodrel-convert, run for each thumbnail
  std::filesystem::path encodeProgram;   // sodrel-bench-encode, run for each encode case
  std::filesystem::path psnrScript;      // bench/encode-psnr.py: Pillow's decode against the PNG
  std::filesystem::path headerTemplate;  // the header template copied into the program folder
};

// Makes the inputs, times every case, checks the outputs, prints a table and one line per case.
// Returns the process exit status: 0 when every run succeeded and every output was right.
int RunSuite(const SuiteOptions& options);

}  // namespace sodrel::bench
