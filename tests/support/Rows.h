#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

// A table row with a `name` prints as that name in failures, and SODREL_NAMED_ROWS lists each
// row under its name, so that `ctest -R NAME` finds it.
template <typename Row>
requires requires(const Row& row) {
  std::string(row.name);
}
void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

#define SODREL_NAMED_ROWS(prefix, suite, rows)                     \
  INSTANTIATE_TEST_SUITE_P(prefix, suite, testing::ValuesIn(rows), \
                           [](const auto& info) { return std::string(info.param.name); })
