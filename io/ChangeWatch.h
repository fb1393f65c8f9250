#pragma once

#include <cstdint>

#include "io/UniqueFd.h"

namespace sodrel {

// Notices a change made by anyone to an open file while it is watched: a write, a cut, an
// attribute change, its deletion or renaming. A file's times move only once per clock tick on
// older kernels, so a stamp alone misses a change made within a tick of it; the kernel's own
// change notices do not. The file itself is watched, through /proc/self/fd/N, never a path that
// someone could replace. Where no watch can be had (the per-user limit of watches, a system
// without them) active() is false and the caller relies on the stamp alone. Filesystems whose
// changes are made elsewhere (network filesystems) send no notices: the stamp is all there is.
class ChangeWatch {
 public:
  explicit ChangeWatch(int fd);
  ChangeWatch(const ChangeWatch&) = delete;
  ChangeWatch& operator=(const ChangeWatch&) = delete;
  ~ChangeWatch();

  bool active() const { return wd_ >= 0; }
  // True when a notice of a change (or a lost notice) came since the watch started.
  bool Changed();

 private:
  int wd_ = -1;
  std::uint64_t start_ = 0;
};

// Test seams, never set by the program, set in tests through a ScopedSeam: `noWatch` makes every
// ChangeWatch inactive, as when the limit is reached; `beforeDrain` runs between the last read of
// an input and its check.
struct ChangeWatchHooks {
  static inline bool noWatch = false;
  static inline void (*beforeDrain)(int fd) = nullptr;
};

}  // namespace sodrel
