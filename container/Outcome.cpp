#include "container/Outcome.h"

#include "io/EnumTexts.h"

namespace sodrel {

std::string_view Describe(ConvertOutcome outcome) {
  static constexpr std::string_view kTexts[] = {
      "not done",
      "written",
      "cannot open the input file",
      "too short to hold a texture (64 bytes or fewer)",
      "the DDS file is empty",
      "cannot open the header template",
      "cannot open the staged copy of the DDS file",
      "the staged copy does not match the chosen DDS file",
      "the input could not be read to its end, or changed while it was read",
      "cannot write the output file",
  };
  return TextOf<ConvertOutcome::OutputFailed>(kTexts, outcome);
}

}  // namespace sodrel
