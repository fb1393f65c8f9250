#pragma once

namespace sodrel {

// What the console control handler installed by CatchInterrupts() does with `event` (a CTRL_*
// value): notes it as InterruptSignal() and returns true, or returns false for an event it
// leaves to the next handler. Declared for the tests, which hand it events directly.
bool NoteConsoleEvent(unsigned long event);

// Test seam, never set by the program: how long a close event waits for the work to end
// before Windows ends the process.
struct ConsoleEventHooks {
  static inline unsigned long closeWaitMs = 4000;
};

}  // namespace sodrel
