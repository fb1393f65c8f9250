#pragma once

#include <cstdint>
#include <span>

#include "dds/DdsHeaderCheck.h"
#include "dds/DdsLayout.h"

namespace sodrel {

// The mip chain: the smaller copies of the top surface stored after it, level k of sides
// max(1, side >> k), each laid out as the layout plan lays out a top surface of those sides but
// packed, without a pitch. A texture array or cube map stores its first image's chain first, so
// the same reckoning finds that chain.

// Makes `info`, which describes the accepted top surface of `format`, describe the smallest
// level whose long side is at least `side` instead: its sides, where its surface starts and how
// it is laid out. Only levels the file holds whole are chosen, and none of a volume texture or
// after a top surface with padded rows, whose levels may lie otherwise; with `side` 0, or when no
// smaller level will do, it keeps the top. `prefix` is the file's header.
void ChooseLevel(const Format& format, std::span<const std::byte> prefix, std::uint64_t fileSize,
                 std::uint32_t side, DdsInfo& info);

}  // namespace sodrel
