#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "container/FileKind.h"
#include "convert/CommandLine.h"
#include "convert/Inputs.h"
#include "convert/Report.h"
#include "io/AtomicOutput.h"
#include "io/Stop.h"

namespace sodrel::convert {

// Whether a check before anything is written takes an input, and the line saying why not.
enum class TakeOutcome {
  NotDone,
  Taken,
  Refused,
};

std::string_view Describe(TakeOutcome outcome);

struct [[nodiscard]] Verdict : Result<TakeOutcome, TakeOutcome::Taken> {
  std::string why;  // when refused: the reason, or the whole line
};

inline Verdict Taken() {
  return {{TakeOutcome::Taken, {}}, {}};
}
inline Verdict Refused(std::string why) {
  return {{TakeOutcome::Refused, {}}, std::move(why)};
}

// One input of a batch and what it will be turned into.
struct Job {
  Input input;
  std::filesystem::path output;
  std::filesystem::path original;  // build --originals: the container the header comes from
  std::string skip;                // why the input is left alone, found from its name
  std::string refusal;             // why it fails, found before anything is written: "PATH: reason"
  ContainerHeader header{};        // build: the header its container starts with
  std::string warning;         // said beside its success, dry runs included: "PATH: warning: ..."
  DdsTexture originalTexture;  // build --originals: the model of the original's DDS file
  bool reencode = false;       // build: encoded into the original's layout, not copied
  Stop stop;                   // the batch's: its copies and outputs stop when it is requested
};

// What makes one batch command differ from another; RunBatch does the rest the same way for all.
struct BatchCommand {
  std::string_view doneWord;               // "exported", in the summary
  std::string_view dryWord;                // "to export", in a dry run's summary
  std::vector<std::string_view> suffixes;  // the files a folder stands for
  std::string_view notInFolders;           // names a folder scan leaves out, with a note
  // Files every output is made from besides its input (build's header template): never written
  // over, and with -u an output older than one of them is replaced.
  std::vector<std::filesystem::path> alsoReads;
  // The output's name for an input named `name`; empty when the name is not taken.
  std::function<std::string(const std::string& name)> outputName;
  std::string_view badName;  // why, then
  // Whether the file at `path`, of this kind, is taken; if not, the reason.
  std::function<Verdict(const FileKindResult& kind, const std::filesystem::path& path)> refuse;
  // Checks beyond the input's kind `kind`, dry runs included (build --originals reads and
  // compares the original here); if not taken, the failure's whole line.
  std::function<Verdict(Job& job, const FileKindResult& kind)> prepare;
  // Writes job.output from `input`, open and of the kind `kind`, through an output of `mode`.
  std::function<JobReport(const Job& job, InputFile& input, const FileKindResult& kind,
                          OutputMode mode)>
      convert;
};

// The one batch loop of export, build and png: collects the inputs, plans every output (refusing
// outputs over inputs and outputs two inputs would write, before anything is written), runs
// the jobs on options.jobs threads and reports in input order, none started once `stop` is
// requested. Returns the exit status.
int RunBatch(const BatchCommand& command, const Options& options, Stop stop);

// The report of a write that ended with `result`: done, kept (Keep found a file there after
// all), not done (its stop requested), or which side failed (the input read, the output written).
JobReport Finished(const Job& job, const IoResult& result);

}  // namespace sodrel::convert
