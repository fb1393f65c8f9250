#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "container/Outcome.h"

namespace sodrel {

// A texture container is a 64-byte header followed by one whole DDS file. The header is opaque:
// nothing here reads meaning into it.
inline constexpr std::size_t kContainerHeaderSize = 64;
using ContainerHeader = std::array<std::byte, kContainerHeaderSize>;

// The header template; its first 64 bytes head every container we build. It lies in the program
// folder, or in the user's config folder (workfiles/WorkPlaces.h).
inline constexpr std::string_view kHeaderTemplateName = "KX00.dll";

inline constexpr std::string_view kExportSuffix = ".dds";
inline constexpr std::string_view kBuildSuffix = ".bin";

// `path` with `suffix` appended to its full name: a.bin gives a.bin.dds.
std::filesystem::path WithSuffix(const std::filesystem::path& path, std::string_view suffix);

std::filesystem::path HeaderTemplatePath(const std::filesystem::path& templateFolder);

// Writes the payload of the container at `containerPath` (bytes 64 to the end) to
// `containerPath` + ".dds".
ConvertResult ExportTexture(const std::filesystem::path& containerPath);

// Writes the header template in `templateFolder` followed by `stagedCopy`, the caller's copy of
// the chosen DDS file, to `ddsPath` + ".bin". The staged copy must have the length of the file
// at `ddsPath`; otherwise it is not this file and nothing is written.
ConvertResult BuildContainer(const std::filesystem::path& ddsPath,
                             const std::filesystem::path& templateFolder,
                             const std::filesystem::path& stagedCopy);

// The first 64 bytes of `path`; a shorter file leaves the rest zero.
ConvertResult ReadHeader(const std::filesystem::path& path, ContainerHeader& header);

// Writes `header` followed by the whole of `bodyPath` to `outputPath`. An empty body is refused,
// and so is a body whose length is not `expectedLength` when that is given.
ConvertResult WriteContainer(const ContainerHeader& header, const std::filesystem::path& bodyPath,
                             const std::filesystem::path& outputPath,
                             std::optional<std::uint64_t> expectedLength = std::nullopt);

}  // namespace sodrel
