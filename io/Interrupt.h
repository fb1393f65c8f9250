#pragma once

namespace sodrel {

// SIGINT, SIGTERM and SIGHUP, once caught, only note the signal: the work under way sees it at
// its next check (between chunks of a copy, before an output is committed, before the next file
// of a batch), removes its unfinished output and stops, so that the run can report what it did
// and exit with 128 + the signal's number. Outputs check the note whether or not the handlers
// are installed; without them it is never set.
void CatchInterrupts();

// The number of the first signal caught, or 0.
int InterruptSignal();
inline bool Interrupted() {
  return InterruptSignal() != 0;
}

// "SIGINT", "SIGTERM", "SIGHUP".
const char* InterruptName(int signal);

}  // namespace sodrel
