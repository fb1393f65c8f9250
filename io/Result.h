#pragma once

#include <system_error>

namespace sodrel {

// The answer of every fallible call: an outcome of its module's enum and the system error behind
// a failure, when there was one. Every outcome enum starts with NotDone, so a default result is
// never a success, and ok() is the one success test.
template <typename Outcome, Outcome kSuccess>
struct [[nodiscard]] Result {
  Outcome outcome = Outcome::NotDone;
  std::error_code error;

  bool ok() const { return outcome == kSuccess; }
};

}  // namespace sodrel
