#include "convert/Batch.h"

#include <utility>

namespace sodrel::convert {
namespace fs = std::filesystem;
namespace {

// The output of every input, and the inputs left alone for their names.
std::vector<Job> Plan(const BatchCommand& command, std::vector<Input> inputs) {
  std::vector<Job> jobs;
  for (Input& input : inputs) {
    Job job;
    job.input = std::move(input);
    const std::string name = job.input.path.filename().native();
    if (job.input.found && !command.notInFolders.empty() &&
        EndsWithIgnoringCase(name, command.notInFolders)) {
      job.skip = "an output of an earlier build (*" + std::string(command.notInFolders) + ")";
    }
    job.output = job.input.path.parent_path() / command.outputName(name);
    jobs.push_back(std::move(job));
  }
  return jobs;
}

JobReport RunJob(const BatchCommand& command, const Options& options, Job& job) {
  const fs::path& path = job.input.path;
  if (!job.skip.empty()) return Reported(JobStatus::Skipped, Says(path, "skipped", job.skip));
  if (const std::string why = CheckInput(path); !why.empty()) {
    return Reported(JobStatus::Failed, Says(path, "cannot open", why));
  }
  InputFile input;
  if (IoResult opened = input.Open(path); !opened.ok()) {
    return Reported(JobStatus::Failed, Says(path, "cannot open", opened.error.message()));
  }
  const FileKindResult kind = ReadKind(input);
  if (!kind.ok()) return Finished(job, {IoOutcome::ReadFailed, kind.read.error});
  if (const std::string why = command.refuse(kind); !why.empty()) {
    if (job.input.found) return Reported(JobStatus::Skipped, Says(path, "skipped", why));
    return Reported(JobStatus::Failed, Says(path, why));
  }
  if (command.prepare) {
    if (std::string why = command.prepare(job); !why.empty()) {
      return Reported(JobStatus::Failed, std::move(why));
    }
  }

  if (options.dryRun) return Listed(JobStatus::Done, job.output.native());
  return command.convert(job, input, kind);
}

}  // namespace

JobReport Finished(const Job& job, const IoResult& result) {
  if (result.ok()) return Reported(JobStatus::Done);
  const std::string detail = result.error ? result.error.message() : "";
  switch (result.outcome) {
    case IoOutcome::Changed:
      return Reported(JobStatus::Failed, Says(job.input.path, "changed while it was read"));
    case IoOutcome::WriteFailed:
      return Reported(JobStatus::Failed, Says(job.output, "cannot write", detail));
    default:
      return Reported(JobStatus::Failed, Says(job.input.path, "cannot read", detail));
  }
}

int RunBatch(const BatchCommand& command, const Options& options) {
  Report report(std::string(options.dryRun ? command.dryWord : command.doneWord));
  std::vector<Job> jobs =
      Plan(command, CollectInputs(options.paths, command.suffixes, options.recursive, report));
  report.Start(jobs.size(), !options.dryRun);
  for (Job& job : jobs) report.Add(RunJob(command, options, job));
  return report.Finish();
}

}  // namespace sodrel::convert
