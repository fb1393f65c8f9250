#pragma once

#include <cstddef>
#include <system_error>

#include "io/FileIo.h"

// What both systems' CopyBytes share: the size of a piece, and how a copy fails.
namespace sodrel::copy_failures {

inline constexpr std::size_t kChunk = 1 << 20;

inline IoResult SourceEndedEarly() {
  return {IoOutcome::ReadFailed, std::make_error_code(std::errc::io_error)};
}

// A copy stops between two chunks once its Stop is requested.
inline IoResult Stopped() {
  return {IoOutcome::WriteFailed, std::make_error_code(std::errc::interrupted)};
}

}  // namespace sodrel::copy_failures
