#pragma once

#include <utility>

namespace sodrel {

// Sets a test seam (ChangeWatchHooks, AtomicOutputHooks) for the life of the object and puts
// back what it held however the scope ends, a failed assertion's early return included.
template <typename T>
class [[nodiscard]] ScopedSeam {
 public:
  ScopedSeam(T& seam, T value) : seam_(seam), saved_(std::exchange(seam, std::move(value))) {}
  ~ScopedSeam() { seam_ = std::move(saved_); }
  ScopedSeam(const ScopedSeam&) = delete;
  ScopedSeam& operator=(const ScopedSeam&) = delete;

 private:
  T& seam_;
  T saved_;
};

}  // namespace sodrel
