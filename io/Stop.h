#pragma once

#include <atomic>

namespace sodrel {

// Whether the work under way has been asked to stop, handed down to every call that can stop
// between two steps (a copy between chunks, an output before it is committed, a batch before its
// next file). A default Stop is never requested: the window's commands run to their end. The
// batch tool hands down InterruptStop() (io/Interrupt.h); a test may hand down its own flag.
class Stop {
 public:
  constexpr Stop() = default;
  explicit constexpr Stop(const std::atomic<int>& flag) : flag_(&flag) {}

  bool requested() const { return flag_ != nullptr && flag_->load(std::memory_order_relaxed) != 0; }

 private:
  const std::atomic<int>* flag_ = nullptr;
};

}  // namespace sodrel
