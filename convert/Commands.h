#pragma once

#include <filesystem>

#include "convert/CommandLine.h"
#include "io/Stop.h"

namespace sodrel::convert {

// Each returns the exit status: 0 when every file succeeded, 1 when any failed.
// `templateFolder` holds the default header template KX00.dll, the one the window reads. Once
// `stop` is requested, no further file is started and the outputs under way are discarded.
int RunExport(const Options& options, Stop stop);
int RunBuild(const Options& options, const std::filesystem::path& templateFolder, Stop stop);
int RunInfo(const Options& options, Stop stop);
// thumbnail: one picture, nothing on stderr but the reason it failed, no summary.
int RunThumbnail(const Options& options, Stop stop);
int RunPng(const Options& options, Stop stop);
// The command options.command, as main() runs it.
int RunCommand(const Options& options, const std::filesystem::path& templateFolder, Stop stop);

}  // namespace sodrel::convert
