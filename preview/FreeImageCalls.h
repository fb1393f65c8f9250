#pragma once

#include <FreeImage.h>

namespace sodrel {

// The FreeImage functions this program calls. On Linux the shared library is loaded on the first
// call, not at program start: loading it and the two dozen libraries it needs (TIFF, OpenEXR,
// camera RAW, ...) took 3 ms, three times a whole short command that never decodes (info,
// export, a DDS file built). A static build fills the table with the linked functions.
struct FreeImageCalls {
  decltype(&FreeImage_Load) Load;
  decltype(&FreeImage_Save) Save;
  decltype(&FreeImage_LoadFromHandle) LoadFromHandle;
  decltype(&FreeImage_SaveToHandle) SaveToHandle;
  decltype(&FreeImage_Unload) Unload;
  decltype(&FreeImage_GetWidth) GetWidth;
  decltype(&FreeImage_GetHeight) GetHeight;
  decltype(&FreeImage_GetScanLine) GetScanLine;
  decltype(&FreeImage_Rescale) Rescale;
  decltype(&FreeImage_ConvertTo32Bits) ConvertTo32Bits;
  decltype(&FreeImage_GetFileTypeFromHandle) GetFileTypeFromHandle;
  decltype(&FreeImage_GetFIFFromFilename) GetFIFFromFilename;
  decltype(&FreeImage_FIFSupportsReading) FIFSupportsReading;
  decltype(&FreeImage_GetFormatFromFIF) GetFormatFromFIF;
};

// The table, loaded once (thread-safe). A library that cannot be loaded ends the program with a
// line saying so, as a missing library at start did.
const FreeImageCalls& FreeImage();

}  // namespace sodrel
