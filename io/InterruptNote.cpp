#include "io/InterruptNote.h"

#include <atomic>

#include "io/Interrupt.h"

namespace sodrel {
namespace {

std::atomic<int> caught{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch a lock-free flag");

}  // namespace

void NoteInterrupt(int signal) {
  int none = 0;
  caught.compare_exchange_strong(none, signal);
}

Stop InterruptStop() {
  return Stop(caught);
}

int InterruptSignal() {
  return caught.load();
}

}  // namespace sodrel
