#include "container/Outcome.h"

namespace sodrel {

std::string_view Describe(ConvertOutcome outcome) {
  switch (outcome) {
    case ConvertOutcome::NotDone:
      return "not done";
    case ConvertOutcome::Written:
      return "written";
    case ConvertOutcome::InputMissing:
      return "cannot open the input file";
    case ConvertOutcome::InputTooShort:
      return "too short to hold a texture (64 bytes or fewer)";
    case ConvertOutcome::InputEmpty:
      return "the DDS file is empty";
    case ConvertOutcome::TemplateMissing:
      return "cannot open the header template";
    case ConvertOutcome::StagedCopyMissing:
      return "cannot open the staged copy of the DDS file";
    case ConvertOutcome::StagedCopyMismatch:
      return "the staged copy does not match the chosen DDS file";
    case ConvertOutcome::ReadFailed:
      return "the input could not be read to its end, or changed while it was read";
    case ConvertOutcome::OutputFailed:
      return "cannot write the output file";
  }
  return "unknown outcome";
}

}  // namespace sodrel
