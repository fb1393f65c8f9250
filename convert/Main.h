#pragma once

namespace sodrel::convert {

// The whole program: its arguments in UTF-8 (on POSIX as the shell gave them), its exit status.
int RunProgram(int argc, char** argv);

}  // namespace sodrel::convert
