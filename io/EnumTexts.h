#pragma once

#include <cstddef>
#include <string_view>

namespace sodrel {

// The short text of `value` in `texts`, one text for each value of its enum in the enum's order.
// `kLast` is the enum's last value: a table that does not reach it, or goes past it, does not
// compile.
template <auto kLast, std::size_t N>
constexpr std::string_view TextOf(const std::string_view (&texts)[N], decltype(kLast) value) {
  static_assert(N == static_cast<std::size_t>(kLast) + 1, "one text for each value of the enum");
  const auto at = static_cast<std::size_t>(value);
  return at < N ? texts[at] : "unknown";
}

}  // namespace sodrel
