#pragma once

#include <filesystem>

#include "convert/CommandLine.h"

namespace sodrel::convert {

// Each returns the exit status: 0 when every file succeeded, 1 when any failed.
// `templateFolder` holds the default header template KX00.dll, the one the window reads.
int RunExport(const Options& options);
int RunBuild(const Options& options, const std::filesystem::path& templateFolder);
int RunInfo(const Options& options);
// thumbnail: one picture, nothing on stderr but the reason it failed, no summary.
int RunThumbnail(const Options& options);
int RunPng(const Options& options);
// The command options.command, as main() runs it.
int RunCommand(const Options& options, const std::filesystem::path& templateFolder);

}  // namespace sodrel::convert
