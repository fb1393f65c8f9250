#pragma once

#include <string>
#include <string_view>

#include "dds/DdsHeaderCheck.h"

namespace sodrel {

// A short text for each verdict of the header check.
std::string_view Describe(DdsCheck check);

// "DXT5", "DX10 BC7_UNORM", "uncompressed, 32 bits", ...: the format as the header names it.
std::string DescribeFormat(const DdsInfo& info);

// Why the check refused the file, with the format named once the check had read it: "the file
// ends before the texture does (DX10 BC7_UNORM)".
std::string DescribeRefusal(const DdsInfo& info);

}  // namespace sodrel
