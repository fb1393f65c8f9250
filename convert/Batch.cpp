#include "convert/Batch.h"

#include <algorithm>
#include <map>
#include <utility>

#include "convert/OrderedJobRunner.h"
#include "convert/OutputFolders.h"
#include "convert/TextureNotes.h"
#include "io/EnumTexts.h"
#include "io/FileStatus.h"

namespace sodrel::convert {
namespace fs = std::filesystem;
namespace {

// The file at `path` (links followed when `follow`), if there is one.
std::optional<FileId> IdentityOf(const fs::path& path, bool follow = true) {
  if (const auto status = StatusOf(path, follow)) return status->id;
  return {};
}

// The outputs of every input, and the refusals that can be told before anything is written: no
// output over any input of the batch (device and inode compared, so links and other spellings
// are caught), and no output that two inputs would write.
std::vector<Job> Plan(const BatchCommand& command, const Options& options,
                      std::vector<Input> inputs) {
  std::vector<Job> jobs;
  std::map<FileId, fs::path> read;  // every file the batch reads
  for (const fs::path& path : command.alsoReads) {
    if (const auto id = IdentityOf(path)) read.emplace(*id, path);
  }
  for (Input& input : inputs) {
    Job job;
    job.input = std::move(input);
    const std::string name = PathText(job.input.path.filename());
    const std::string outputName = command.outputName(name);
    if (job.input.found && !command.notInFolders.empty() &&
        EndsWithIgnoringCase(name, command.notInFolders)) {
      job.skip = "an output of an earlier build (*" + std::string(command.notInFolders) + ")";
    } else if (outputName.empty()) {
      job.skip = command.badName;
    }
    const fs::path folder = options.outputDir.empty()
                                ? job.input.path.parent_path()
                                : options.outputDir / job.input.relative.parent_path();
    job.output = folder / PathFromText(outputName);
    if (options.headerSource == HeaderSource::Originals && job.skip.empty()) {
      job.original = options.headerPath / job.input.relative.parent_path() /
                     PathFromText(name).replace_extension();
      if (const auto id = IdentityOf(job.original)) read.emplace(*id, job.original);
    }
    if (const auto id = IdentityOf(job.input.path)) read.emplace(*id, job.input.path);
    jobs.push_back(std::move(job));
  }

  std::map<fs::path, std::vector<Job*>> writers;
  for (Job& job : jobs) {
    if (!job.skip.empty()) continue;
    std::error_code ignored;
    writers[fs::absolute(job.output, ignored).lexically_normal()].push_back(&job);
    for (const bool follow : {false, true}) {
      const auto id = IdentityOf(job.output, follow);
      const auto over = id ? read.find(*id) : read.end();
      if (over == read.end() || !job.refusal.empty()) continue;
      job.refusal =
          over->second != job.original
              ? Says(job.output, "would write over the input " + PathText(over->second))
              : Says(job.output, options.outputDir.empty()
                                     ? "would write over its original container (give -o DIR)"
                                     : "would write over its original container (-o names the "
                                       "folder of the originals: give another)");
    }
  }
  for (auto& [output, sharing] : writers) {
    if (sharing.size() < 2) continue;
    for (Job* job : sharing) {
      std::string others;
      for (const Job* other : sharing) {
        if (other != job) others += (others.empty() ? "" : ", ") + PathText(other->input.path);
      }
      job->refusal = Says(job->input.path, "writes the same output as " + others, PathText(output));
    }
  }
  return jobs;
}

// Whether a file `job`'s output is made from was modified after `output`, as cp -u decides.
bool InputNewer(const BatchCommand& command, const Job& job, const FileStatus& output) {
  std::vector<fs::path> inputs = command.alsoReads;
  inputs.push_back(job.input.path);
  if (!job.original.empty()) inputs.push_back(job.original);
  return std::any_of(inputs.begin(), inputs.end(), [&](const fs::path& input) {
    const auto status = StatusOf(input);
    return status && ModifiedLater(*status, output);
  });
}

JobReport Convert(const BatchCommand& command, const Options& options, Job& job, InputFile& input,
                  const FileKindResult& kind, OutputFolders& folders);

JobReport RunJob(const BatchCommand& command, const Options& options, Job& job,
                 OutputFolders& folders) {
  const fs::path& path = job.input.path;
  if (!job.skip.empty()) return Reported(JobStatus::Skipped, Says(path, "skipped", job.skip));
  if (!job.refusal.empty()) return Reported(JobStatus::Failed, job.refusal);
  InputFile input;
  if (const IoResult opened = input.Open(path); !opened.ok()) {
    return Reported(JobStatus::Failed, Says(path, "cannot open", OpenFailure(opened)));
  }
  const FileKindResult kind = ReadKind(input);
  if (!kind.ok()) return Finished(job, {IoOutcome::ReadFailed, kind.error});
  if (const Verdict taken = command.refuse(kind, path); !taken.ok()) {
    if (job.input.found) return Reported(JobStatus::Skipped, Says(path, "skipped", taken.why));
    return Reported(JobStatus::Failed, Says(path, taken.why));
  }
  if (command.prepare) {
    if (Verdict prepared = command.prepare(job, kind); !prepared.ok()) {
      return Reported(JobStatus::Failed, std::move(prepared.why));
    }
  }
  JobReport report = Convert(command, options, job, input, kind, folders);
  if (report.status == JobStatus::Done) {
    if (!job.warning.empty()) report.warnings.push_back(job.warning);
    if (std::string cut = CutWarning(path, kind); !cut.empty()) report.warnings.push_back(cut);
  }
  return report;
}

// The rest of RunJob, once the input is open and taken: keeps or replaces what exists, or lists
// what would be written.
JobReport Convert(const BatchCommand& command, const Options& options, Job& job, InputFile& input,
                  const FileKindResult& kind, OutputFolders& folders) {
  if (options.dryRun) {
    // A dry run reads no more of the input than its kind: that much is checked here.
    if (IoResult same = input.Unchanged(); !same.ok()) return Finished(job, same);
  }
  const std::optional<FileStatus> existing = StatusOf(job.output, false);
  const bool exists = existing.has_value();
  const std::optional<FileStatus> target = exists ? StatusOf(job.output) : std::nullopt;
  const bool followed = target.has_value();
  if (exists && (existing->folder || (followed && target->folder))) {
    return Reported(JobStatus::Failed, Says(job.output, "a folder is there, never replaced"));
  }
  const bool older =
      exists && !options.force && InputNewer(command, job, followed ? *target : *existing);
  const bool replace = options.force || (options.update && older);
  const std::string marked = PathText(job.output) +
                             (older ? " (exists, older than its input: " : " (exists: ") +
                             (replace ? "replaced)" : "kept)");
  if (exists && !replace) {
    if (options.dryRun) return Listed(JobStatus::Kept, marked);
    return Reported(JobStatus::Kept,
                    Says(job.output, older ? "kept, older than its input: use -u or -f"
                                           : "kept, exists: use --force to replace"));
  }
  if (options.dryRun) return Listed(JobStatus::Done, exists ? marked : PathText(job.output));

  if (!options.outputDir.empty()) {
    const fs::path folder = job.output.parent_path();
    if (const std::error_code error = folders.Make(folder)) {
      JobReport report =
          Reported(JobStatus::Failed, Says(folder, "cannot make the folder", error.message()));
      report.folderNotMade = folder;
      return report;
    }
  }
  return command.convert(job, input, kind, replace ? OutputMode::Replace : OutputMode::Keep);
}

}  // namespace

std::string_view Describe(TakeOutcome outcome) {
  static constexpr std::string_view kTexts[] = {"not done", "taken", "refused"};
  return TextOf<TakeOutcome::Refused>(kTexts, outcome);
}

JobReport Finished(const Job& job, const IoResult& result) {
  if (result.ok()) return Reported(JobStatus::Done);
  if (job.stop.requested()) return {};
  const std::string detail = result.error ? result.error.message() : "";
  switch (result.outcome) {
    case IoOutcome::Changed:
      return Reported(JobStatus::Failed, Says(job.input.path, "changed while it was read"));
    case IoOutcome::WriteFailed:
      if (result.error == std::errc::file_exists) {
        return Reported(JobStatus::Kept, Says(job.output, "kept, exists: use --force to replace"));
      }
      return Reported(JobStatus::Failed, Says(job.output, "cannot write", detail));
    default:
      return Reported(JobStatus::Failed, Says(job.input.path, "cannot read", detail));
  }
}

int RunBatch(const BatchCommand& command, const Options& options, Stop stop) {
  Report report(std::string(options.dryRun ? command.dryWord : command.doneWord), options.quiet);
  std::vector<Job> jobs = Plan(
      command, options, CollectInputs(options.paths, command.suffixes, options.recursive, report));
  for (Job& job : jobs) job.stop = stop;
  report.Start(jobs.size(), !options.dryRun);
  OutputFolders folders;
  RunInOrder(
      jobs.size(), options.jobs != 0 ? options.jobs : ProcessorCount(), stop,
      [&](std::size_t i) { return RunJob(command, options, jobs[i], folders); },
      [&](const JobReport& job) { report.Add(job); });
  folders.RemoveEmpty();
  return report.Finish();
}

}  // namespace sodrel::convert
