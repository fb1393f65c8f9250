#pragma once

#include <string_view>

#include "io/Result.h"

namespace sodrel {

// What a conversion did: wrote its output, or which step stopped it.
enum class ConvertOutcome {
  NotDone,
  Written,
  InputMissing,        // no readable file at the current path
  InputTooShort,       // a container of 64 bytes or fewer holds no texture
  InputEmpty,          // a DDS file of 0 bytes
  TemplateMissing,     // no readable header template
  StagedCopyMissing,   // no readable staged copy of the chosen file
  StagedCopyMismatch,  // the staged copy is not the file at the current path
  ReadFailed,          // an input could not be read to its end, or changed while it was read
  OutputFailed,        // the output could not be written; an earlier file there is untouched
};

std::string_view Describe(ConvertOutcome outcome);

using ConvertResult = Result<ConvertOutcome, ConvertOutcome::Written>;

}  // namespace sodrel
