#pragma once

#include <cstddef>
#include <functional>

#include "convert/Report.h"
#include "io/Stop.h"

namespace sodrel::convert {

// Runs work(i) for every i below `count` on `jobs` threads and hands each report to `done` on
// the calling thread, in the order of i, as soon as it and all before it are in. Once `stop` is
// requested no further work starts; the reports of the work under way still come.
// `work` runs on several threads at once and must touch nothing shared; an exception it throws
// becomes a failure of that input.
void RunInOrder(std::size_t count, unsigned jobs, Stop stop,
                const std::function<JobReport(std::size_t)>& work,
                const std::function<void(const JobReport&)>& done);

}  // namespace sodrel::convert
