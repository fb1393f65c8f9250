#include "io/ChangeWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace sodrel {

ChangeWatch::ChangeWatch(int fd) {
  if (ChangeWatchHooks::noWatch) return;
  UniqueFd notices(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!notices.valid()) return;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  constexpr std::uint32_t kChanges =
      IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;
  if (::inotify_add_watch(notices.get(), self.c_str(), kChanges) < 0) return;
  notices_ = std::move(notices);
}

bool ChangeWatch::Changed() {
  if (!active()) return false;
  // Every notice we asked for is a change; IN_Q_OVERFLOW and IN_IGNORED mean notices were lost
  // or the watch ended. One read that returns anything is enough.
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(notices_.get(), buffer, sizeof buffer);
    if (n > 0) return true;
    if (n < 0 && errno == EINTR) continue;
    return false;  // EAGAIN: nothing happened
  }
}

}  // namespace sodrel
