#pragma once

#include "io/Stop.h"

namespace sodrel {

// SIGINT, SIGTERM and SIGHUP, once caught, only note the signal: the work handed InterruptStop()
// sees it at its next check (between chunks of a copy, before an output is committed, before the
// next file of a batch), removes its unfinished output and stops, so that the run can report
// what it did and exit with 128 + the signal's number. Without the handlers it is never set.
// On Windows the console's Ctrl-C, Ctrl-Break and close events are noted the same way, as
// SIGINT, SIGBREAK and SIGTERM.
void CatchInterrupts();

// The Stop requested once a signal has been caught.
Stop InterruptStop();

// The number of the first signal caught, or 0.
int InterruptSignal();

// "SIGINT", "SIGTERM", "SIGHUP"; on Windows "Ctrl-C", "Ctrl-Break", "the console closing".
const char* InterruptName(int signal);

}  // namespace sodrel
