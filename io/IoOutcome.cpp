// The outcome texts and errno results, the same on every system.
#include <cerrno>

#include "io/EnumTexts.h"
#include "io/FileIo.h"

namespace sodrel {

std::string_view Describe(IoOutcome outcome) {
  static constexpr std::string_view kTexts[] = {
      "not done",
      "done",
      "cannot read the input",
      "cannot write the output",
      "the input changed while it was read",
  };
  return TextOf<IoOutcome::Changed>(kTexts, outcome);
}

IoResult FromErrno(IoOutcome outcome) {
  return {outcome, std::error_code(errno, std::generic_category())};
}

}  // namespace sodrel
