#include "io/ChangeWatch.h"

namespace sodrel {

// No watch on Windows: an input is held with a share mode that refuses writers while it is
// open (InputFile), and its stamp covers the rest.
ChangeWatch::ChangeWatch(int) {}

ChangeWatch::~ChangeWatch() = default;

bool ChangeWatch::Changed() {
  return false;
}

}  // namespace sodrel
