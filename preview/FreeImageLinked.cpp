#include "preview/FreeImageCalls.h"

namespace sodrel {

const FreeImageCalls& FreeImage() {
  static const FreeImageCalls calls{
      &FreeImage_Load,
      &FreeImage_Save,
      &FreeImage_LoadFromHandle,
      &FreeImage_SaveToHandle,
      &FreeImage_Unload,
      &FreeImage_GetWidth,
      &FreeImage_GetHeight,
      &FreeImage_GetScanLine,
      &FreeImage_Rescale,
      &FreeImage_ConvertTo32Bits,
      &FreeImage_GetFileTypeFromHandle,
      &FreeImage_GetFIFFromFilename,
      &FreeImage_FIFSupportsReading,
      &FreeImage_GetFormatFromFIF,
  };
  return calls;
}

}  // namespace sodrel
