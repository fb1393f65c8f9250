#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "preview/FreeImageCalls.h"

namespace sodrel {
namespace {

[[noreturn]] void CannotLoad(const char* what) {
  std::fprintf(stderr, "cannot load FreeImage (%s): %s\n", SODREL_FREEIMAGE_SONAME, what);
  std::exit(127);
}

template <typename Function>
void Find(void* library, const char* name, Function& function) {
  void* found = ::dlsym(library, name);
  if (found == nullptr) CannotLoad(name);
  function = reinterpret_cast<Function>(found);
}

FreeImageCalls Load() {
  void* library = ::dlopen(SODREL_FREEIMAGE_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) CannotLoad(::dlerror());
  FreeImageCalls calls{};
  Find(library, "FreeImage_Load", calls.Load);
  Find(library, "FreeImage_Save", calls.Save);
  Find(library, "FreeImage_LoadFromHandle", calls.LoadFromHandle);
  Find(library, "FreeImage_SaveToHandle", calls.SaveToHandle);
  Find(library, "FreeImage_Unload", calls.Unload);
  Find(library, "FreeImage_GetWidth", calls.GetWidth);
  Find(library, "FreeImage_GetHeight", calls.GetHeight);
  Find(library, "FreeImage_GetScanLine", calls.GetScanLine);
  Find(library, "FreeImage_Rescale", calls.Rescale);
  Find(library, "FreeImage_ConvertTo32Bits", calls.ConvertTo32Bits);
  Find(library, "FreeImage_GetFileTypeFromHandle", calls.GetFileTypeFromHandle);
  Find(library, "FreeImage_GetFIFFromFilename", calls.GetFIFFromFilename);
  Find(library, "FreeImage_FIFSupportsReading", calls.FIFSupportsReading);
  Find(library, "FreeImage_GetFormatFromFIF", calls.GetFormatFromFIF);
  return calls;  // the library stays loaded until the program ends
}

}  // namespace

const FreeImageCalls& FreeImage() {
  static const FreeImageCalls calls = Load();
  return calls;
}

}  // namespace sodrel
