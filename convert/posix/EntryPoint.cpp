#include "convert/Main.h"

// The shell has expanded wildcards already, and file names are bytes: the arguments go as they
// came.
int main(int argc, char** argv) {
  return sodrel::convert::RunProgram(argc, argv);
}
