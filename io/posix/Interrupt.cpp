#include "io/Interrupt.h"

#include <atomic>
#include <csignal>

namespace sodrel {
namespace {

std::atomic<int> caught{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch a lock-free flag");

extern "C" void NoteSignal(int signal) {
  int none = 0;
  caught.compare_exchange_strong(none, signal);
}

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

Stop InterruptStop() {
  return Stop(caught);
}

int InterruptSignal() {
  return caught.load();
}

const char* InterruptName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
  }
  return "a signal";
}

}  // namespace sodrel
