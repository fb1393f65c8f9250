#pragma once

namespace sodrel {

// Notes `signal` as the interrupt caught, unless one was noted already. Safe in a signal handler
// and on a console event's thread: it only touches a lock-free flag.
void NoteInterrupt(int signal);

}  // namespace sodrel
