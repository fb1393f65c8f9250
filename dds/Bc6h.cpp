// BC6H: half-float RGB in fourteen modes, each with its own layout of the endpoint bits.

#include <array>
#include <cstring>
#include <utility>

#include "dds/BlockBits.h"
#include "dds/BlockDecoders.h"
#include "dds/BptcTables.h"
#include "dds/UnitToByte.h"

namespace sodrel {
namespace {

// The stored values: endpoint e (0 to 3) of channel c (R, G, B) is value e * 3 + c.
enum Value : std::uint8_t { R0, G0, B0, R1, G1, B1, R2, G2, B2, R3, G3, B3 };

// A run of block bits, read lowest first into bits `from`, `from` +- 1, ... `to` of a value:
// upwards when from <= to, downwards (the bit order reversed) when from > to.
struct Run {
  Value value;
  std::uint8_t from;
  std::uint8_t to;
};

struct Mode {
  std::uint8_t number;  // the mode bits: 2 of them for modes 0 and 1, else 5
  bool transformed;     // endpoints after the first are stored as differences from it
  bool twoSubsets;      // 5 partition bits after the endpoints, 3-bit indices
  std::uint8_t endpointBits;
  std::uint8_t deltaBits[3];  // per channel, when transformed
  std::uint8_t runCount;
  Run runs[24];
};

// clang-format off
constexpr Mode kModes[] = {
    {0, true, true, 10, {5, 5, 5}, 19, {
        {G2, 4, 4}, {B2, 4, 4}, {B3, 4, 4}, {R0, 0, 9}, {G0, 0, 9}, {B0, 0, 9}, {R1, 0, 4},
        {G3, 4, 4}, {G2, 0, 3}, {G1, 0, 4}, {B3, 0, 0}, {G3, 0, 3}, {B1, 0, 4}, {B3, 1, 1},
        {B2, 0, 3}, {R2, 0, 4}, {B3, 2, 2}, {R3, 0, 4}, {B3, 3, 3}}},
    {1, true, true, 7, {6, 6, 6}, 23, {
        {G2, 5, 5}, {G3, 4, 4}, {G3, 5, 5}, {R0, 0, 6}, {B3, 0, 0}, {B3, 1, 1}, {B2, 4, 4},
        {G0, 0, 6}, {B2, 5, 5}, {B3, 2, 2}, {G2, 4, 4}, {B0, 0, 6}, {B3, 3, 3}, {B3, 5, 5},
        {B3, 4, 4}, {R1, 0, 5}, {G2, 0, 3}, {G1, 0, 5}, {G3, 0, 3}, {B1, 0, 5}, {B2, 0, 3},
        {R2, 0, 5}, {R3, 0, 5}}},
    {2, true, true, 11, {5, 4, 4}, 18, {
        {R0, 0, 9}, {G0, 0, 9}, {B0, 0, 9}, {R1, 0, 4}, {R0, 10, 10}, {G2, 0, 3}, {G1, 0, 3},
        {G0, 10, 10}, {B3, 0, 0}, {G3, 0, 3}, {B1, 0, 3}, {B0, 10, 10}, {B3, 1, 1}, {B2, 0, 3},
        {R2, 0, 4}, {B3, 2, 2}, {R3, 0, 4}, {B3, 3, 3}}},
    {6, true, true, 11, {4, 5, 4}, 20, {
        {R0, 0, 9}, {G0, 0, 9}, {B0, 0, 9}, {R1, 0, 3}, {R0, 10, 10}, {G3, 4, 4}, {G2, 0, 3},
        {G1, 0, 4}, {G0, 10, 10}, {G3, 0, 3}, {B1, 0, 3}, {B0, 10, 10}, {B3, 1, 1}, {B2, 0, 3},
        {R2, 0, 3}, {B3, 0, 0}, {B3, 2, 2}, {R3, 0, 3}, {G2, 4, 4}, {B3, 3, 3}}},
    {10, true, true, 11, {4, 4, 5}, 20, {
        {R0, 0, 9}, {G0, 0, 9}, {B0, 0, 9}, {R1, 0, 3}, {R0, 10, 10}, {B2, 4, 4}, {G2, 0, 3},
        {G1, 0, 3}, {G0, 10, 10}, {B3, 0, 0}, {G3, 0, 3}, {B1, 0, 4}, {B0, 10, 10}, {B2, 0, 3},
        {R2, 0, 3}, {B3, 1, 1}, {B3, 2, 2}, {R3, 0, 3}, {B3, 4, 4}, {B3, 3, 3}}},
    {14, true, true, 9, {5, 5, 5}, 19, {
        {R0, 0, 8}, {B2, 4, 4}, {G0, 0, 8}, {G2, 4, 4}, {B0, 0, 8}, {B3, 4, 4}, {R1, 0, 4},
        {G3, 4, 4}, {G2, 0, 3}, {G1, 0, 4}, {B3, 0, 0}, {G3, 0, 3}, {B1, 0, 4}, {B3, 1, 1},
        {B2, 0, 3}, {R2, 0, 4}, {B3, 2, 2}, {R3, 0, 4}, {B3, 3, 3}}},
    {18, true, true, 8, {6, 5, 5}, 19, {
        {R0, 0, 7}, {G3, 4, 4}, {B2, 4, 4}, {G0, 0, 7}, {B3, 2, 2}, {G2, 4, 4}, {B0, 0, 7},
        {B3, 3, 3}, {B3, 4, 4}, {R1, 0, 5}, {G2, 0, 3}, {G1, 0, 4}, {B3, 0, 0}, {G3, 0, 3},
        {B1, 0, 4}, {B3, 1, 1}, {B2, 0, 3}, {R2, 0, 5}, {R3, 0, 5}}},
    {22, true, true, 8, {5, 6, 5}, 21, {
        {R0, 0, 7}, {B3, 0, 0}, {B2, 4, 4}, {G0, 0, 7}, {G2, 5, 5}, {G2, 4, 4}, {B0, 0, 7},
        {G3, 5, 5}, {B3, 4, 4}, {R1, 0, 4}, {G3, 4, 4}, {G2, 0, 3}, {G1, 0, 5}, {G3, 0, 3},
        {B1, 0, 4}, {B3, 1, 1}, {B2, 0, 3}, {R2, 0, 4}, {B3, 2, 2}, {R3, 0, 4}, {B3, 3, 3}}},
    {26, true, true, 8, {5, 5, 6}, 21, {
        {R0, 0, 7}, {B3, 1, 1}, {B2, 4, 4}, {G0, 0, 7}, {B2, 5, 5}, {G2, 4, 4}, {B0, 0, 7},
        {B3, 5, 5}, {B3, 4, 4}, {R1, 0, 4}, {G3, 4, 4}, {G2, 0, 3}, {G1, 0, 4}, {B3, 0, 0},
        {G3, 0, 3}, {B1, 0, 5}, {B2, 0, 3}, {R2, 0, 4}, {B3, 2, 2}, {R3, 0, 4}, {B3, 3, 3}}},
    {30, false, true, 6, {6, 6, 6}, 23, {
        {R0, 0, 5}, {G3, 4, 4}, {B3, 0, 0}, {B3, 1, 1}, {B2, 4, 4}, {G0, 0, 5}, {G2, 5, 5},
        {B2, 5, 5}, {B3, 2, 2}, {G2, 4, 4}, {B0, 0, 5}, {G3, 5, 5}, {B3, 3, 3}, {B3, 5, 5},
        {B3, 4, 4}, {R1, 0, 5}, {G2, 0, 3}, {G1, 0, 5}, {G3, 0, 3}, {B1, 0, 5}, {B2, 0, 3},
        {R2, 0, 5}, {R3, 0, 5}}},
    {3, false, false, 10, {10, 10, 10}, 6, {
        {R0, 0, 9}, {G0, 0, 9}, {B0, 0, 9}, {R1, 0, 9}, {G1, 0, 9}, {B1, 0, 9}}},
    {7, true, false, 11, {9, 9, 9}, 9, {
        {R0, 0, 9}, {G0, 0, 9}, {B0, 0, 9}, {R1, 0, 8}, {R0, 10, 10}, {G1, 0, 8}, {G0, 10, 10},
        {B1, 0, 8}, {B0, 10, 10}}},
    {11, true, false, 12, {8, 8, 8}, 9, {
        {R0, 0, 9}, {G0, 0, 9}, {B0, 0, 9}, {R1, 0, 7}, {R0, 11, 10}, {G1, 0, 7}, {G0, 11, 10},
        {B1, 0, 7}, {B0, 11, 10}}},
    {15, true, false, 16, {4, 4, 4}, 9, {
        {R0, 0, 9}, {G0, 0, 9}, {B0, 0, 9}, {R1, 0, 3}, {R0, 15, 10}, {G1, 0, 3}, {G0, 15, 10},
        {B1, 0, 3}, {B0, 15, 10}}},
};
// clang-format on

// Every layout must fill the header exactly: 82 bits before the indices with two subsets (5 of
// them the partition), 65 with one.
constexpr bool LayoutsFillTheHeader() {
  for (const Mode& mode : kModes) {
    unsigned bits = mode.number < 2 ? 2 : 5;
    for (unsigned i = 0; i < mode.runCount; ++i) {
      const Run& run = mode.runs[i];
      bits += (run.from <= run.to ? run.to - run.from : run.from - run.to) + 1;
      if (run.from > 15 || run.to > 15) return false;
    }
    if (bits != (mode.twoSubsets ? 77u : 65u) || mode.runCount > 24) return false;
  }
  return true;
}
static_assert(LayoutsFillTheHeader());

int SignExtend(int value, unsigned bits) {
  const int top = 1 << (bits - 1);
  value &= (top << 1) - 1;
  return (value ^ top) - top;
}

// An endpoint of `bits` bits spread over the 16-bit range before interpolation.
int Unquantize(int value, unsigned bits, bool isSigned) {
  if (!isSigned) {
    if (bits >= 15 || value == 0) return value;
    if (value == (1 << bits) - 1) return 0xFFFF;
    return ((value << 15) + 0x4000) >> (bits - 1);
  }
  if (bits >= 16) return value;
  const int magnitude = value < 0 ? -value : value;
  int result;
  if (magnitude == 0) {
    result = 0;
  } else if (magnitude >= (1 << (bits - 1)) - 1) {
    result = 0x7FFF;
  } else {
    result = ((magnitude << 15) + 0x4000) >> (bits - 1);
  }
  return value < 0 ? -result : result;
}

// The interpolated value as the bits of a half float: signed values keep their sign apart
// (without branches: the sign of each value is random to the processor).
std::uint16_t ToHalf(int value, bool isSigned) {
  if (!isSigned) return static_cast<std::uint16_t>((value * 31) >> 6);
  const int sign = value >> 31;  // 0 or -1
  const int magnitude = (value ^ sign) - sign;
  return static_cast<std::uint16_t>(((magnitude * 31) >> 5) | (sign & 0x8000));
}

template <Run run>
void ReadRun(BlockBits& bits, int* stored) {
  if constexpr (run.from <= run.to) {
    stored[run.value] |= static_cast<int>(bits.Read(run.to - run.from + 1u) << run.from);
  } else {
    for (int bit = run.from; bit >= run.to; --bit) {
      stored[run.value] |= static_cast<int>(bits.Read(1) << bit);
    }
  }
}

template <std::size_t M, std::size_t... I>
void ReadRuns(BlockBits& bits, int* stored, std::index_sequence<I...>) {
  (ReadRun<kModes[M].runs[I]>(bits, stored), ...);
}

// One decoder per mode, so that the layout is read by code made for it.
template <std::size_t M>
void DecodeMode(const std::byte* block, bool isSigned, std::uint8_t* bgra) {
  constexpr const Mode& mode = kModes[M];
  BlockBits bits(block);
  bits.Skip(mode.number < 2 ? 2 : 5);
  int stored[12] = {};
  ReadRuns<M>(bits, stored, std::make_index_sequence<kModes[M].runCount>{});
  const unsigned partition = mode.twoSubsets ? bits.Read(5) : 0;

  // Endpoints as signed numbers, each channel spread over the 16-bit range.
  const unsigned epb = mode.endpointBits;
  const unsigned endpointCount = mode.twoSubsets ? 4 : 2;
  int endpoints[4][3];
  for (unsigned c = 0; c < 3; ++c) {
    const int base = stored[c];
    for (unsigned e = 0; e < endpointCount; ++e) {
      int value = stored[e * 3 + c];
      if (e > 0 && mode.transformed) {
        value = base + SignExtend(value, mode.deltaBits[c]);
      }
      value &= (1 << epb) - 1;
      if (isSigned) value = SignExtend(value, epb);
      endpoints[e][c] = Unquantize(value, epb, isSigned);
    }
  }

  // The colours of each subset by index, B, G, R, A, then each pixel's.
  const unsigned subsets = mode.twoSubsets ? 2 : 1;
  const unsigned indexBits = mode.twoSubsets ? 3 : 4;
  const std::uint8_t* weights = mode.twoSubsets ? bptc::kWeights3 : bptc::kWeights4;
  std::uint8_t colours[2][16][4];
  for (unsigned s = 0; s < subsets; ++s) {
    for (unsigned k = 0; k < 1u << indexBits; ++k) {
      const auto w = static_cast<int>(weights[k]);
      for (unsigned c = 0; c < 3; ++c) {
        const int mixed = (endpoints[2 * s][c] * (64 - w) + endpoints[2 * s + 1][c] * w + 32) >> 6;
        colours[s][k][2 - c] = HalfToByte(ToHalf(mixed, isSigned));
      }
      colours[s][k][3] = 255;
    }
  }
  static constexpr std::uint8_t kOneSubset[16] = {};
  const std::uint8_t* subsetOf = mode.twoSubsets ? bptc::kPartition2[partition] : kOneSubset;
  const unsigned anchor = mode.twoSubsets ? bptc::kAnchor2[partition] : 16;
  std::uint64_t window = bits.Peek();  // 46 or 63 bits of indices
  for (unsigned i = 0; i < 16; ++i) {
    const unsigned size = indexBits - (i == 0 || i == anchor);
    std::memcpy(bgra + 4 * i, colours[subsetOf[i]][window & ((1u << size) - 1)], 4);
    window >>= size;
  }
}

using Decoder = void (*)(const std::byte*, bool, std::uint8_t*);

template <std::size_t... M>
constexpr std::array<Decoder, sizeof...(M)> MakeDecoders(std::index_sequence<M...>) {
  return {DecodeMode<M>...};
}

// The decoder of each value of the low 5 bits of the first byte; none for the reserved modes.
constexpr std::array<Decoder, 32> MakeDispatch() {
  constexpr auto decoders = MakeDecoders(std::make_index_sequence<std::size(kModes)>{});
  std::array<Decoder, 32> dispatch{};
  for (unsigned low = 0; low < 32; ++low) {
    const unsigned number = (low & 3) < 2 ? low & 3 : low;
    for (std::size_t m = 0; m < decoders.size(); ++m) {
      if (kModes[m].number == number) dispatch[low] = decoders[m];
    }
  }
  return dispatch;
}

constexpr std::array<Decoder, 32> kDispatch = MakeDispatch();

}  // namespace

void DecodeBc6hBlock(const std::byte* block, bool isSigned, std::uint8_t* bgra) {
  const Decoder decoder = kDispatch[std::to_integer<unsigned>(block[0]) & 31];
  if (decoder == nullptr) {  // 19, 23, 27 and 31 are reserved and decode to black
    for (int i = 0; i < 16; ++i) std::memcpy(bgra + 4 * i, "\0\0\0\xFF", 4);
    return;
  }
  decoder(block, isSigned, bgra);
}

}  // namespace sodrel
