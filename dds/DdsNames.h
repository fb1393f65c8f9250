#pragma once

#include <string>
#include <string_view>

#include "dds/DdsTexture.h"

namespace sodrel {

// A short text for each verdict of the header check.
std::string_view Describe(DdsCheck check);

// "DXT5", or "FourCC 0x00000001" for a code that is no text.
std::string DescribeFourCC(std::uint32_t fourCC);

// "DXT5", "DX10 BC7_UNORM", "uncompressed, 32 bits", ...: the format as the header names it,
// whether it is shown or not.
std::string DescribeFormat(const DdsTexture& texture);

// The layout's one name (FormatName) once the format is known, DescribeFormat's otherwise.
std::string LayoutName(const DdsTexture& texture);

// Why the check refused the file, with the format named once the check had read it: "the file
// ends before the texture does (DX10 BC7_UNORM)".
std::string DescribeRefusal(const DdsTexture& texture);

}  // namespace sodrel
