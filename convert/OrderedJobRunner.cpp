#include "convert/OrderedJobRunner.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace sodrel::convert {

void RunInOrder(std::size_t count, unsigned jobs, Stop stop,
                const std::function<JobReport(std::size_t)>& work,
                const std::function<void(const JobReport&)>& done) {
  std::vector<std::optional<JobReport>> reports(count);
  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  std::condition_variable arrived;
  unsigned running =
      static_cast<unsigned>(std::clamp<std::size_t>(jobs, 1, std::max<std::size_t>(count, 1)));

  const auto worker = [&] {
    for (std::size_t i; !stop.requested() && (i = next++) < count;) {
      JobReport report;
      try {
        report = work(i);
      } catch (const std::exception& error) {
        report = Reported(JobStatus::Failed, std::string("unexpected error: ") + error.what());
      } catch (...) {
        report = Reported(JobStatus::Failed, "unexpected error");
      }
      const std::lock_guard lock(mutex);
      reports[i] = std::move(report);
      arrived.notify_one();
    }
    const std::lock_guard lock(mutex);
    --running;
    arrived.notify_one();
  };
  std::vector<std::jthread> threads;
  for (unsigned t = running; t > 0; --t) threads.emplace_back(worker);

  for (std::size_t i = 0; i < count; ++i) {
    std::unique_lock lock(mutex);
    // Work is taken in order, so once every thread has stopped, what has not come never will.
    arrived.wait(lock, [&] { return reports[i].has_value() || running == 0; });
    if (!reports[i]) break;
    const JobReport report = std::move(*reports[i]);
    lock.unlock();
    done(report);
  }
}

}  // namespace sodrel::convert
