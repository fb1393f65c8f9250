#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

// FreeImage as the Windows build links it: static, initialised by the program itself, with only
// the plugins whose libraries it has.
namespace {

TEST(FreeImageStatic, EveryFormatUnderItsOwnNumberOnlyTheBuiltOnesReadAndWrite) {
  for (FREE_IMAGE_FORMAT built : {FIF_BMP, FIF_PNG, FIF_DDS, FIF_TARGA}) {
    EXPECT_TRUE(FreeImage_FIFSupportsReading(built)) << FreeImage_GetFormatFromFIF(built);
  }
  EXPECT_EQ(FreeImage_GetFIFFromFilename("a.png"), FIF_PNG);
  EXPECT_EQ(FreeImage_GetFIFFromFilename("a.tga"), FIF_TARGA);
  EXPECT_EQ(FreeImage_GetFIFFromFilename("a.jxr"), FIF_JXR);  // the last one
  for (FREE_IMAGE_FORMAT absent : {FIF_JPEG, FIF_TIFF, FIF_EXR, FIF_RAW, FIF_JXR}) {
    EXPECT_FALSE(FreeImage_FIFSupportsReading(absent) || FreeImage_FIFSupportsWriting(absent));
  }
}

// A picture with alpha through libpng and back, every byte kept.
TEST(FreeImageStatic, PngKeepsEveryPixel) {
  std::unique_ptr<FIBITMAP, decltype(&FreeImage_Unload)> picture(FreeImage_Allocate(5, 3, 32),
                                                                 FreeImage_Unload);
  BYTE* bits = FreeImage_GetBits(picture.get());
  for (unsigned i = 0; i < FreeImage_GetPitch(picture.get()) * 3; ++i) bits[i] = BYTE(i * 37);
  std::unique_ptr<FIMEMORY, decltype(&FreeImage_CloseMemory)> png(FreeImage_OpenMemory(),
                                                                  FreeImage_CloseMemory);
  ASSERT_TRUE(FreeImage_SaveToMemory(FIF_PNG, picture.get(), png.get()));
  FreeImage_SeekMemory(png.get(), 0, SEEK_SET);
  ASSERT_EQ(FreeImage_GetFileTypeFromMemory(png.get()), FIF_PNG);
  std::unique_ptr<FIBITMAP, decltype(&FreeImage_Unload)> back(
      FreeImage_LoadFromMemory(FIF_PNG, png.get()), FreeImage_Unload);
  ASSERT_TRUE(back && FreeImage_GetBPP(back.get()) == 32);
  EXPECT_EQ(0,
            std::memcmp(FreeImage_GetBits(back.get()), bits, FreeImage_GetPitch(back.get()) * 3));
}

}  // namespace
