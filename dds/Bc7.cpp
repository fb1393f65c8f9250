// BC7: eight modes, told apart by the position of the lowest set bit of the first byte.

#include <bit>
#include <cstring>

#include "dds/BlockBits.h"
#include "dds/BlockDecoders.h"
#include "dds/BptcTables.h"

namespace sodrel {
namespace {

struct Mode {
  std::uint8_t subsets;
  std::uint8_t partitionBits;
  std::uint8_t rotationBits;
  std::uint8_t selectionBits;  // the index selection bit: which index set drives colour
  std::uint8_t colourBits;
  std::uint8_t alphaBits;      // 0: no alpha, which is then 255
  std::uint8_t endpointPBits;  // one low bit per endpoint
  std::uint8_t sharedPBits;    // one low bit per subset, shared by its two endpoints
  std::uint8_t indexBits;
  std::uint8_t secondIndexBits;  // a second set of indices (modes 4 and 5)
};

constexpr Mode kModes[8] = {
    {3, 4, 0, 0, 4, 0, 1, 0, 3, 0}, {2, 6, 0, 0, 6, 0, 0, 1, 3, 0}, {3, 6, 0, 0, 5, 0, 0, 0, 2, 0},
    {2, 6, 0, 0, 7, 0, 1, 0, 2, 0}, {1, 0, 2, 1, 5, 6, 0, 0, 2, 3}, {1, 0, 2, 0, 7, 8, 0, 0, 2, 2},
    {1, 0, 0, 0, 7, 7, 1, 0, 4, 0}, {2, 6, 0, 0, 5, 5, 1, 0, 2, 0},
};

constexpr std::uint8_t kOneSubset[16] = {};

const std::uint8_t* Weights(unsigned bits) {
  return bits == 2 ? bptc::kWeights2 : bits == 3 ? bptc::kWeights3 : bptc::kWeights4;
}

// A value of `bits` bits (5 to 8) widened to 8 by repeating its top bits below it.
unsigned Widen(unsigned value, unsigned bits) {
  return bits >= 8 ? value : (value << (8 - bits) | value >> (2 * bits - 8)) & 0xFF;
}

unsigned Mix(unsigned e0, unsigned e1, unsigned weight) {
  return ((64 - weight) * e0 + weight * e1 + 32) >> 6;
}

// One decoder per mode, so that every count below is a constant.
template <unsigned M>
void DecodeMode(const std::byte* block, std::uint8_t* bgra) {
  constexpr Mode mode = kModes[M];
  BlockBits bits(block);
  bits.Skip(M + 1);
  const unsigned partition = bits.Read(mode.partitionBits);
  const unsigned rotation = bits.Read(mode.rotationBits);
  const unsigned selection = bits.Read(mode.selectionBits);

  // endpoints[subset][endpoint][channel], channels R, G, B, A.
  unsigned endpoints[3][2][4] = {};
  for (unsigned c = 0; c < 3; ++c) {
    for (unsigned s = 0; s < mode.subsets; ++s) {
      for (auto& endpoint : endpoints[s]) endpoint[c] = bits.Read(mode.colourBits);
    }
  }
  for (unsigned s = 0; s < mode.subsets; ++s) {
    for (auto& endpoint : endpoints[s]) endpoint[3] = bits.Read(mode.alphaBits);
  }
  const bool hasP = mode.endpointPBits || mode.sharedPBits;
  unsigned pBits[3][2] = {};
  for (unsigned s = 0; s < mode.subsets; ++s) {
    if (mode.endpointPBits) {
      pBits[s][0] = bits.Read(1);
      pBits[s][1] = bits.Read(1);
    } else if (mode.sharedPBits) {
      pBits[s][0] = pBits[s][1] = bits.Read(1);
    }
  }
  for (unsigned s = 0; s < mode.subsets; ++s) {
    for (unsigned e = 0; e < 2; ++e) {
      unsigned* endpoint = endpoints[s][e];
      for (unsigned c = 0; c < 4; ++c) {
        const unsigned stored = c < 3 ? mode.colourBits : mode.alphaBits;
        if (stored == 0) {
          endpoint[c] = 255;
        } else if (hasP) {
          endpoint[c] = Widen(endpoint[c] << 1 | pBits[s][e], stored + 1);
        } else {
          endpoint[c] = Widen(endpoint[c], stored);
        }
      }
    }
  }

  const std::uint8_t* subsetOf = mode.subsets == 1   ? kOneSubset
                                 : mode.subsets == 2 ? bptc::kPartition2[partition]
                                                     : bptc::kPartition3[partition];
  // Pixel 0 anchors subset 0; the tables give the anchors of the others (16: none). An anchor's
  // index has one bit less.
  const unsigned anchor1 = mode.subsets == 2   ? bptc::kAnchor2[partition]
                           : mode.subsets == 3 ? bptc::kAnchor3Second[partition]
                                               : 16;
  const unsigned anchor2 = mode.subsets == 3 ? bptc::kAnchor3Third[partition] : 16;
  std::uint8_t indices[16];
  std::uint64_t window = bits.Peek();  // every mode's first index set fits in 63 bits
  for (unsigned i = 0; i < 16; ++i) {
    const unsigned size = mode.indexBits - (i == 0 || i == anchor1 || i == anchor2);
    indices[i] = static_cast<std::uint8_t>(window & ((1u << size) - 1));
    window >>= size;
  }
  std::uint8_t secondIndices[16] = {};
  if (mode.secondIndexBits) {
    bits.Skip(16 * mode.indexBits - 1);
    window = bits.Peek();
    for (unsigned i = 0; i < 16; ++i) {
      const unsigned size = mode.secondIndexBits - (i == 0);
      secondIndices[i] = static_cast<std::uint8_t>(window & ((1u << size) - 1));
      window >>= size;
    }
  }

  // The colours of each subset by index, B, G, R, A. With a second index set (modes 4 and 5,
  // one subset), the selection bit says which set drives colour; the other drives alpha.
  const bool colourFromSecond = mode.secondIndexBits != 0 && selection != 0;
  const unsigned colourBits = colourFromSecond ? mode.secondIndexBits : mode.indexBits;
  const std::uint8_t* colourWeights = Weights(colourBits);
  std::uint8_t colours[3][16][4];
  for (unsigned s = 0; s < mode.subsets; ++s) {
    // The endpoints in B, G, R, A order, 16 bits each: the compiler mixes the channels at once.
    std::uint16_t e0[4], e1[4];
    for (unsigned c = 0; c < 4; ++c) {
      e0[c] = static_cast<std::uint16_t>(endpoints[s][0][c == 3 ? 3 : 2 - c]);
      e1[c] = static_cast<std::uint16_t>(endpoints[s][1][c == 3 ? 3 : 2 - c]);
    }
    for (unsigned k = 0; k < 1u << colourBits; ++k) {
      const std::uint16_t w = colourWeights[k], v = static_cast<std::uint16_t>(64 - w);
      for (unsigned c = 0; c < 4; ++c) {
        colours[s][k][c] = static_cast<std::uint8_t>((v * e0[c] + w * e1[c] + 32) >> 6);
      }
    }
  }
  if constexpr (mode.secondIndexBits == 0) {
    for (unsigned i = 0; i < 16; ++i) {
      std::memcpy(bgra + 4 * i, colours[subsetOf[i]][indices[i]], 4);
    }
  } else {
    const unsigned alphaBits = colourFromSecond ? mode.indexBits : mode.secondIndexBits;
    const std::uint8_t* alphaWeights = Weights(alphaBits);
    std::uint8_t alphas[8];
    for (unsigned k = 0; k < 1u << alphaBits; ++k) {
      alphas[k] =
          static_cast<std::uint8_t>(Mix(endpoints[0][0][3], endpoints[0][1][3], alphaWeights[k]));
    }
    // Rotation 1, 2 or 3 swaps alpha with R, G or B (bytes 2, 1, 0 of a pixel): the channel
    // swapped out is shown as alpha, and alpha takes its place.
    const unsigned alphaAt = rotation == 0 ? 3 : 3 - rotation;
    for (unsigned k = 0; k < 1u << colourBits; ++k) colours[0][k][3] = colours[0][k][alphaAt];
    const std::uint8_t* colourIndex = colourFromSecond ? secondIndices : indices;
    const std::uint8_t* alphaIndex = colourFromSecond ? indices : secondIndices;
    for (unsigned i = 0; i < 16; ++i) {
      std::memcpy(bgra + 4 * i, colours[0][colourIndex[i]], 4);
      bgra[4 * i + alphaAt] = alphas[alphaIndex[i]];
    }
  }
}

constexpr void (*kDecoders[8])(const std::byte*, std::uint8_t*) = {
    DecodeMode<0>, DecodeMode<1>, DecodeMode<2>, DecodeMode<3>,
    DecodeMode<4>, DecodeMode<5>, DecodeMode<6>, DecodeMode<7>,
};

}  // namespace

void DecodeBc7Block(const std::byte* block, std::uint8_t* bgra) {
  const auto first = std::to_integer<unsigned>(block[0]);
  if (first == 0) {  // reserved: the block decodes to zeros, transparent black
    std::memset(bgra, 0, 64);
    return;
  }
  kDecoders[std::countr_zero(first)](block, bgra);
}

}  // namespace sodrel
