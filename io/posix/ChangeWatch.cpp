#include "io/ChangeWatch.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace sodrel {
namespace {

constexpr std::uint32_t kChanges =
    IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;

// One inotify instance for the whole process. Closing an instance waits for a grace period of
// the kernel's (5 to 18 ms), once for every input read; removing a watch from a live one does
// not. Watches of the same file share one watch descriptor, so each keeps a count of its users
// and of the changes seen; a watcher compares that count with the one it started from.
class Notices {
 public:
  static Notices& Instance() {
    static Notices notices;
    return notices;
  }

  // At exit the instance still has to be closed, and that wait would come on top of every short
  // command: a child holding nothing but the instance closes it once this process has gone.
  ~Notices() {
    if (notices_.valid() && owner_ == ::getpid()) LeaveToChild(notices_.release());
  }

  // The watch descriptor, and the changes counted so far; -1 when no watch can be had.
  int Add(int fd, std::uint64_t& changes) {
    const std::lock_guard lock(mutex_);
    if (owner_ != ::getpid()) {
      // A child after fork shares its parent's queue of notices: it makes its own.
      watches_.clear();
      notices_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
      owner_ = ::getpid();
    }
    if (!notices_.valid()) return -1;
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const int wd = ::inotify_add_watch(notices_.get(), self.c_str(), kChanges);
    if (wd < 0) return -1;
    Watch& watch = watches_[wd];
    ++watch.users;
    Drain();
    changes = watch.changes;
    return wd;
  }

  void Remove(int wd) {
    const std::lock_guard lock(mutex_);
    const auto found = watches_.find(wd);
    if (found == watches_.end() || owner_ != ::getpid()) return;
    if (--found->second.users == 0) {
      watches_.erase(found);
      ::inotify_rm_watch(notices_.get(), wd);
    }
  }

  std::uint64_t ChangesOf(int wd) {
    const std::lock_guard lock(mutex_);
    Drain();
    const auto found = watches_.find(wd);
    // A watch that ended (the file deleted: IN_IGNORED) counts as changed for good.
    return found == watches_.end() ? UINT64_MAX : found->second.changes;
  }

 private:
  struct Watch {
    int users = 0;
    std::uint64_t changes = 0;
  };

  // Counts every notice read so far against its watch; a lost notice counts against all.
  void Drain() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(notices_.get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;  // EAGAIN: nothing more
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->mask & IN_Q_OVERFLOW) {
          for (auto& [wd, watch] : watches_) ++watch.changes;
        } else if (const auto found = watches_.find(event->wd); found != watches_.end()) {
          ++found->second.changes;
          if (event->mask & IN_IGNORED) watches_.erase(found);
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
  }

  // Every watch has ended by now: what the instance still holds is the kernel's to release.
  static void LeaveToChild(int notices) {
    int gone[2];  // read by the child: end of file once this process has exited
    if (::pipe2(gone, O_CLOEXEC) != 0) return void(::close(notices));
    const pid_t child = ::_Fork();  // no fork handlers: the child makes system calls only
    if (child == 0) {
      // Nothing else of ours stays open: no pipe or file of a caller waits for this child.
      const unsigned keep[] = {static_cast<unsigned>(std::min(notices, gone[0])),
                               static_cast<unsigned>(std::max(notices, gone[0]))};
      if (keep[0] > 0) ::close_range(0, keep[0] - 1, 0);
      if (keep[1] > keep[0] + 1) ::close_range(keep[0] + 1, keep[1] - 1, 0);
      ::close_range(keep[1] + 1, ~0u, 0);
      char byte;
      while (::read(gone[0], &byte, 1) < 0 && errno == EINTR) {
      }
      ::_exit(0);  // closing the instance takes the grace period here
    }
    ::close(gone[0]);
    // Without a child the instance is closed as usual; with one, this drops a reference only.
    ::close(notices);
  }

  std::mutex mutex_;
  UniqueFd notices_;
  pid_t owner_ = 0;
  std::map<int, Watch> watches_;
};

}  // namespace

ChangeWatch::ChangeWatch(int fd) {
  if (!ChangeWatchHooks::noWatch) wd_ = Notices::Instance().Add(fd, start_);
}

ChangeWatch::~ChangeWatch() {
  if (active()) Notices::Instance().Remove(wd_);
}

bool ChangeWatch::Changed() {
  return active() && Notices::Instance().ChangesOf(wd_) != start_;
}

}  // namespace sodrel
