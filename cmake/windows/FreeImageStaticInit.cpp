// FreeImage linked statically registers its plugins only when initialised: its DLL and its
// Linux shared library do so when loaded. Compiled into each Windows program that links it.
#include <FreeImage.h>

namespace {

struct FreeImageInitialised {
  FreeImageInitialised() { FreeImage_Initialise(FALSE); }
  ~FreeImageInitialised() { FreeImage_DeInitialise(); }
  FreeImageInitialised(const FreeImageInitialised&) = delete;
  FreeImageInitialised& operator=(const FreeImageInitialised&) = delete;
};

const FreeImageInitialised initialised;

}  // namespace
