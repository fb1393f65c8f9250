#include "io/Interrupt.h"

#include "io/InterruptNote.h"

#include <windows.h>

#include <csignal>

#include "io/windows/ConsoleEvents.h"

namespace sodrel {
namespace {

BOOL WINAPI OnConsoleEvent(DWORD event) {
  return NoteConsoleEvent(event) ? TRUE : FALSE;
}

}  // namespace

// Ctrl-C, Ctrl-Break and the console closing (or the user logging off, the system shutting
// down) note the same flag the POSIX signals do, as SIGINT, SIGBREAK and SIGTERM: the exit status
// stays 128 + that number. The handler runs on a thread of its own; once it returns for a close,
// Windows ends the process, so it then waits a few seconds for the work to remove its unfinished
// output and exit.
bool NoteConsoleEvent(unsigned long event) {
  int signal = 0;
  switch (event) {
    case CTRL_C_EVENT:
      signal = SIGINT;
      break;
    case CTRL_BREAK_EVENT:
      signal = SIGBREAK;
      break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      signal = SIGTERM;
      break;
    default:
      return false;
  }
  NoteInterrupt(signal);
  if (signal == SIGTERM && ConsoleEventHooks::closeWaitMs > 0) {
    ::Sleep(ConsoleEventHooks::closeWaitMs);
  }
  return true;
}

void CatchInterrupts() {
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

const char* InterruptName(int signal) {
  switch (signal) {
    case SIGINT:
      return "Ctrl-C";
    case SIGBREAK:
      return "Ctrl-Break";
    case SIGTERM:
      return "the console closing";
  }
  return "a console event";
}

}  // namespace sodrel
