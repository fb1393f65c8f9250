// The plugins of FreeImage whose libraries the Windows build does not have. Each is still
// registered, as Plugin.cpp numbers the formats by their order, but with no load, save or
// signature procedures: FreeImage_FIFSupportsReading() and FreeImage_FIFSupportsWriting() are
// false for it, and its files are never recognised.
#include "FreeImage.h"
#include "Plugin.h"

#define SODREL_ABSENT_PLUGIN(init, name, extensions)                             \
  void DLL_CALLCONV init(Plugin* plugin, int) {                                  \
    plugin->format_proc = []() -> const char* { return name; };                  \
    plugin->description_proc = []() -> const char* { return name " (absent)"; }; \
    plugin->extension_proc = []() -> const char* { return extensions; };         \
  }

SODREL_ABSENT_PLUGIN(InitEXR, "EXR", "exr")
SODREL_ABSENT_PLUGIN(InitG3, "G3", "g3")
SODREL_ABSENT_PLUGIN(InitJ2K, "J2K", "j2k,j2c")
SODREL_ABSENT_PLUGIN(InitJNG, "JNG", "jng")
SODREL_ABSENT_PLUGIN(InitJP2, "JP2", "jp2")
SODREL_ABSENT_PLUGIN(InitJPEG, "JPEG", "jpg,jif,jpeg,jpe")
SODREL_ABSENT_PLUGIN(InitJXR, "JPEG-XR", "jxr,wdp,hdp")
SODREL_ABSENT_PLUGIN(InitMNG, "MNG", "mng")
SODREL_ABSENT_PLUGIN(InitRAW, "RAW", "raw,dng,cr2,nef,arw,orf,rw2")
SODREL_ABSENT_PLUGIN(InitTIFF, "TIFF", "tif,tiff")
SODREL_ABSENT_PLUGIN(InitWEBP, "WebP", "webp")
