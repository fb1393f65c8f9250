#pragma once

#include <filesystem>

namespace sodrel {

// The folder an output goes into: its destination's, or "." for a bare name.
std::filesystem::path FolderOf(const std::filesystem::path& destination);

// A new candidate name for an output's temporary file, hidden beside its destination:
// ".NAME.part-" and 8 random letters or digits.
std::filesystem::path TemporaryNameFor(const std::filesystem::path& destination);

}  // namespace sodrel
