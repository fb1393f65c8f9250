#pragma once

#include <string>
#include <string_view>

#include "dds/DdsHeaderCheck.h"

namespace sodrel {

// A short text for each verdict of the header check.
std::string_view Describe(DdsCheck check);

// "DXT5", "DX10 BC7_UNORM", "uncompressed, 32 bits", ...: the format as the header names it.
std::string DescribeFormat(const DdsInfo& info);

}  // namespace sodrel
