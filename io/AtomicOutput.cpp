#include "io/AtomicOutput.h"

#include <utility>

// What both systems' outputs share; the ways of writing and committing are in posix/, windows/.
namespace sodrel {

AtomicOutput::AtomicOutput(std::filesystem::path destination, OutputMode mode,
                           Durability durability)
    : destination_(std::move(destination)), mode_(mode), durability_(durability) {}

AtomicOutput::~AtomicOutput() {
  if (!committed_) Discard();
}

}  // namespace sodrel
