#pragma once

#include <filesystem>
#include <system_error>

// What the working files need of the system, one implementation per system (posix/, windows/).
namespace sodrel::platform {

// Whether this user can create and write files in the program folder's Temp/; with `prepare`,
// Temp/ is made first when it is missing and the folder allows it. Without it a missing Temp/
// counts as writable when the user could make it.
bool ProgramTempWritable(const std::filesystem::path& programFolder, bool prepare);

// This program's folders among the user's cache and config folders; empty without a home folder.
std::filesystem::path UserCacheFolder();
std::filesystem::path UserConfigFolder();

// Makes `folder` and its missing parents, each new one readable by the user alone.
void MakePrivateFolders(const std::filesystem::path& folder);

// Deletes the file at `path`, never a folder standing at its name.
std::error_code RemoveFile(const std::filesystem::path& path);

}  // namespace sodrel::platform
