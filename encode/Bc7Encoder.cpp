// BC7 blocks of our own: each block is fitted in the modes that suit it and the one with the least
// squared error is kept. Opaque blocks try mode 6 (one subset, 4-bit indices) and modes 1 and 3
// (two subsets) on the partitions that promise most; blocks with alpha try mode 6 with alpha on
// the same line as colour, modes 4 and 5 (alpha with indices of its own) and mode 7 (two subsets
// with alpha). A block of one colour is exact in mode 5.

#include "encode/Bc7Encoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <span>

#include "dds/BptcTables.h"

namespace sodrel {
namespace {

enum class PBits { None, PerEndpoint, Shared };

struct Mode {
  unsigned number;
  unsigned subsets;
  unsigned partitionBits;
  unsigned rotationBits;
  unsigned selectionBits;
  unsigned colourBits;
  unsigned alphaBits;
  PBits pBits;
  unsigned indexBits;
  unsigned secondIndexBits;
};

constexpr Mode kMode1{1, 2, 6, 0, 0, 6, 0, PBits::Shared, 3, 0};
constexpr Mode kMode3{3, 2, 6, 0, 0, 7, 0, PBits::PerEndpoint, 2, 0};
constexpr Mode kMode4{4, 1, 0, 2, 1, 5, 6, PBits::None, 2, 3};
constexpr Mode kMode5{5, 1, 0, 2, 0, 7, 8, PBits::None, 2, 2};
constexpr Mode kMode6{6, 1, 0, 0, 0, 7, 7, PBits::PerEndpoint, 4, 0};
constexpr Mode kMode7{7, 2, 6, 0, 0, 5, 5, PBits::PerEndpoint, 2, 0};

// How many partitions of the estimate's best are fitted in full. Blocks with alpha are rarer, and
// mode 7 their only one with two subsets.
constexpr int kPartitionsOpaque = 3;
constexpr int kPartitionsWithAlpha = 6;

// Alpha's squared errors count this many times in the choice between candidates: weighed like
// colour, the colour modes win blocks where DXT5's separate alpha would have done better.
constexpr std::uint32_t kAlphaWeight = 16;

// Rounds of least squares after the first fit: a second gains a few hundredths of a dB for a tenth
// more time.
constexpr int kRefinements = 1;

// A block that mode 6 (or one colour) fits this well, a squared error of 1 a channel on average or
// less, is not worth a search through the partitions.
constexpr std::uint32_t kGoodEnough = 16 * 3;

const std::uint8_t* Weights(unsigned bits) {
  return bits == 2 ? bptc::kWeights2 : bits == 3 ? bptc::kWeights3 : bptc::kWeights4;
}

unsigned Widen(unsigned value, unsigned bits) {
  return bits >= 8 ? value : (value << (8 - bits) | value >> (2 * bits - 8)) & 0xFF;
}

std::uint8_t Mix(unsigned e0, unsigned e1, unsigned weight) {
  return static_cast<std::uint8_t>(((64 - weight) * e0 + weight * e1 + 32) >> 6);
}

// For each 8-bit value, the stored code of `bits` bits (with p-bit `p`, or none for p 2) that
// widens to the nearest value, and that value.
struct Quantizer {
  std::uint8_t code[256];
  std::uint8_t value[256];
};

const Quantizer& QuantizerFor(unsigned bits, unsigned p) {
  static const auto tables = [] {
    std::array<std::array<Quantizer, 3>, 9> t{};
    for (unsigned b = 1; b <= 8; ++b) {
      for (unsigned pb = 0; pb < 3; ++pb) {
        Quantizer& q = t[b][pb];
        for (unsigned v = 0; v < 256; ++v) {
          int best = 1 << 30;
          for (unsigned code = 0; code < 1u << b; ++code) {
            const unsigned widened = pb == 2 ? Widen(code, b) : Widen(code << 1 | pb, b + 1);
            const int distance = std::abs(int(widened) - int(v));
            if (distance < best) {
              best = distance;
              q.code[v] = static_cast<std::uint8_t>(code);
              q.value[v] = static_cast<std::uint8_t>(widened);
            }
          }
        }
      }
    }
    return t;
  }();
  return tables[bits][p];
}

// One colour in mode 5: per channel the two 7-bit endpoints whose index-1 mix (weight 21) is the
// value, so that every index of the block can be 1.
struct SingleColour {
  std::uint8_t code[256][2];
};

const SingleColour& Mode5SingleColour() {
  static const SingleColour table = [] {
    SingleColour t{};
    int best[256];
    std::fill(std::begin(best), std::end(best), 1 << 30);
    for (unsigned a = 0; a < 128; ++a) {
      for (unsigned b = 0; b < 128; ++b) {
        const unsigned mixed = Mix(Widen(a, 7), Widen(b, 7), bptc::kWeights2[1]);
        for (unsigned v = 0; v < 256; ++v) {
          const int distance = std::abs(int(mixed) - int(v));
          if (distance < best[v]) {
            best[v] = distance;
            t.code[v][0] = static_cast<std::uint8_t>(a);
            t.code[v][1] = static_cast<std::uint8_t>(b);
          }
        }
      }
    }
    return t;
  }();
  return table;
}

// What a block holds: the endpoints of each subset as stored codes and p-bits, the indices, and
// what it decodes to.
struct Choice {
  const Mode* mode = nullptr;
  unsigned partition = 0, rotation = 0, selection = 0;
  std::uint8_t code[3][2][4] = {};
  std::uint8_t p[3][2] = {};
  std::uint8_t index[16] = {};        // the first index set
  std::uint8_t secondIndex[16] = {};  // modes 4 and 5
  std::uint8_t decoded[64] = {};
  std::uint32_t error = UINT32_MAX;
};

// The pixels of a block in the channel order R, G, B, A.
struct Pixels {
  std::uint8_t rgba[16][4];
  std::uint16_t counted;
};

// One subset fitted on channels [first, first + count): its endpoint codes, p-bits, 8-bit
// endpoint values and indices, and the squared error over those channels.
struct SubsetFit {
  std::uint8_t code[2][4] = {};
  std::uint8_t p[2] = {};
  std::uint8_t value[2][4] = {};
  std::uint8_t index[16] = {};
  std::uint32_t error = UINT32_MAX;
};

struct FitTask {
  const Pixels* pixels;
  const std::uint8_t* members;  // the pixels of this subset that count
  unsigned memberCount;
  unsigned first, count;  // channels
  unsigned colourBits, alphaBits;
  PBits pBits;
  unsigned indexBits;
  int values[16][4] = {};   // the members' channels in the fit, the others 0
  bool keepOpaque = false;  // alpha is 255 throughout: p-bits 1, the only ones that store 255
};

FitTask MakeTask(const Pixels& pixels, const std::uint8_t* members, unsigned memberCount,
                 unsigned first, unsigned count, const Mode& mode, unsigned indexBits) {
  FitTask t{&pixels,         members,        memberCount, first,    count,
            mode.colourBits, mode.alphaBits, mode.pBits,  indexBits};
  for (unsigned m = 0; m < memberCount; ++m) {
    for (unsigned c = first; c < first + count; ++c) t.values[m][c] = pixels.rgba[members[m]][c];
  }
  return t;
}

// The index (of `bits` bits) whose weight is nearest to each position 0 to 64 along a line.
const std::uint8_t* NearestIndex(unsigned bits) {
  static const auto tables = [] {
    std::array<std::array<std::uint8_t, 65>, 5> t{};
    for (unsigned b = 2; b <= 4; ++b) {
      for (unsigned at = 0; at <= 64; ++at) {
        unsigned best = 0;
        for (unsigned k = 1; k < 1u << b; ++k) {
          if (std::abs(int(Weights(b)[k]) - int(at)) < std::abs(int(Weights(b)[best]) - int(at))) {
            best = k;
          }
        }
        t[b][at] = static_cast<std::uint8_t>(best);
      }
    }
    return t;
  }();
  return tables[bits].data();
}

// Endpoints (as floats) quantised with p-bits p0 and p1, then every member given its nearest
// palette entry: the one its projection on the endpoints' line falls nearest to, or a neighbour.
SubsetFit Quantise(const FitTask& t, const float ends[2][4], unsigned p0, unsigned p1) {
  SubsetFit fit;
  fit.p[0] = static_cast<std::uint8_t>(p0);
  fit.p[1] = static_cast<std::uint8_t>(p1);
  for (unsigned e = 0; e < 2; ++e) {
    for (unsigned c = t.first; c < t.first + t.count; ++c) {
      const unsigned bits = c < 3 ? t.colourBits : t.alphaBits;
      const Quantizer& q = QuantizerFor(bits, t.pBits == PBits::None ? 2 : fit.p[e]);
      const auto v = static_cast<unsigned>(std::clamp(ends[e][c], 0.0f, 255.0f) + 0.5f);
      fit.code[e][c] = q.code[v];
      fit.value[e][c] = q.value[v];
    }
  }
  // Channels outside the fit are 0 in the palette and in the pixels (FitTask::values).
  const std::uint8_t* weights = Weights(t.indexBits);
  const int top = (1 << t.indexBits) - 1;
  int palette[16][4] = {}, line[4] = {}, lineLength = 0;
  for (unsigned c = t.first; c < t.first + t.count; ++c) {
    line[c] = fit.value[1][c] - fit.value[0][c];
    lineLength += line[c] * line[c];
    for (int k = 0; k <= top; ++k)
      palette[k][c] = Mix(fit.value[0][c], fit.value[1][c], weights[k]);
  }
  const std::uint8_t* nearest = NearestIndex(t.indexBits);
  fit.error = 0;
  for (unsigned m = 0; m < t.memberCount; ++m) {
    const int* px = t.values[m];
    int along = 0;
    for (int c = 0; c < 4; ++c) along += (px[c] - palette[0][c]) * line[c];
    const int at =
        lineLength == 0 ? 0 : std::clamp((64 * along + lineLength / 2) / lineLength, 0, 64);
    const int guess = nearest[at];
    std::uint32_t best = UINT32_MAX;
    for (int k = std::max(0, guess - 1); k <= std::min(top, guess + 1); ++k) {
      int d = 0;
      for (int c = 0; c < 4; ++c) d += (palette[k][c] - px[c]) * (palette[k][c] - px[c]);
      if (static_cast<std::uint32_t>(d) < best) {
        best = static_cast<std::uint32_t>(d);
        fit.index[t.members[m]] = static_cast<std::uint8_t>(k);
      }
    }
    fit.error += best;
  }
  return fit;
}

// The endpoints quantised with the p-bits that keep them nearest to what they were (each its
// own, or one per subset when shared), which nearly always is the best of the choices.
SubsetFit QuantiseBest(const FitTask& t, const float ends[2][4]) {
  if (t.pBits == PBits::None) return Quantise(t, ends, 0, 0);
  if (t.keepOpaque) return Quantise(t, ends, 1, 1);
  float miss[2][2] = {};  // [endpoint][p]
  for (unsigned e = 0; e < 2; ++e) {
    for (unsigned p = 0; p < 2; ++p) {
      for (unsigned c = t.first; c < t.first + t.count; ++c) {
        const unsigned bits = c < 3 ? t.colourBits : t.alphaBits;
        const float end = std::clamp(ends[e][c], 0.0f, 255.0f);
        const float d = QuantizerFor(bits, p).value[static_cast<unsigned>(end + 0.5f)] - end;
        miss[e][p] += d * d;
      }
    }
  }
  if (t.pBits == PBits::Shared) {
    const unsigned p = miss[0][1] + miss[1][1] < miss[0][0] + miss[1][0];
    return Quantise(t, ends, p, p);
  }
  // An endpoint at full or no alpha keeps it exact: only p-bit 1 stores 255, only 0 stores 0.
  unsigned p[2];
  for (unsigned e = 0; e < 2; ++e) {
    const bool alpha = t.first + t.count == 4;
    p[e] = alpha && ends[e][3] >= 254.5f ? 1
           : alpha && ends[e][3] < 0.5f  ? 0
                                         : miss[e][1] < miss[e][0];
  }
  return Quantise(t, ends, p[0], p[1]);
}

// A channel fitted alone (alpha in modes 4 and 5): the codes next to each endpoint's are tried
// too, as rounding each endpoint on its own is often not the best pair.
void PolishAlone(const FitTask& t, SubsetFit& best) {
  constexpr int kReach = 1;
  const unsigned c = t.first, bits = c < 3 ? t.colourBits : t.alphaBits;
  const int top = (1 << bits) - 1;
  const std::uint8_t* weights = Weights(t.indexBits);
  const int entries = 1 << t.indexBits;
  const int code0 = best.code[0][c], code1 = best.code[1][c];
  for (int d0 = -kReach; d0 <= kReach; ++d0) {
    for (int d1 = -kReach; d1 <= kReach; ++d1) {
      const int a = code0 + d0, b = code1 + d1;
      if ((d0 == 0 && d1 == 0) || a < 0 || b < 0 || a > top || b > top) continue;
      SubsetFit fit = best;
      fit.code[0][c] = static_cast<std::uint8_t>(a), fit.code[1][c] = static_cast<std::uint8_t>(b);
      fit.value[0][c] = static_cast<std::uint8_t>(Widen(unsigned(a), bits));
      fit.value[1][c] = static_cast<std::uint8_t>(Widen(unsigned(b), bits));
      int palette[16];
      for (int k = 0; k < entries; ++k)
        palette[k] = Mix(fit.value[0][c], fit.value[1][c], weights[k]);
      fit.error = 0;
      for (unsigned m = 0; m < t.memberCount && fit.error < best.error; ++m) {
        int nearest = 1 << 30;
        for (int k = 0; k < entries; ++k) {
          const int d = (palette[k] - t.values[m][c]) * (palette[k] - t.values[m][c]);
          if (d < nearest) nearest = d, fit.index[t.members[m]] = static_cast<std::uint8_t>(k);
        }
        fit.error += static_cast<std::uint32_t>(nearest);
      }
      if (fit.error < best.error) best = fit;
    }
  }
}

SubsetFit FitSubset(const FitTask& t) {
  float mean[4] = {};
  for (unsigned m = 0; m < t.memberCount; ++m) {
    for (unsigned c = t.first; c < t.first + t.count; ++c)
      mean[c] += t.pixels->rgba[t.members[m]][c];
  }
  for (float& v : mean) v /= static_cast<float>(std::max(1u, t.memberCount));
  float cov[4][4] = {};
  for (unsigned m = 0; m < t.memberCount; ++m) {
    const std::uint8_t* px = t.pixels->rgba[t.members[m]];
    for (unsigned i = t.first; i < t.first + t.count; ++i) {
      for (unsigned j = t.first; j < t.first + t.count; ++j) {
        cov[i][j] += (px[i] - mean[i]) * (px[j] - mean[j]);
      }
    }
  }
  // The principal axis by power iteration, from the channel that varies most.
  float axis[4] = {};
  unsigned widest = t.first;
  for (unsigned c = t.first; c < t.first + t.count; ++c) {
    if (cov[c][c] > cov[widest][widest]) widest = c;
  }
  axis[widest] = 1;
  for (int iteration = 0; iteration < 6; ++iteration) {
    float next[4] = {};
    float length = 0;
    for (unsigned i = t.first; i < t.first + t.count; ++i) {
      for (unsigned j = t.first; j < t.first + t.count; ++j) next[i] += cov[i][j] * axis[j];
      length = std::max(length, std::abs(next[i]));
    }
    if (length <= 1e-6f) break;
    for (unsigned c = t.first; c < t.first + t.count; ++c) axis[c] = next[c] / length;
  }
  float low = 0, high = 0;
  float norm = 0;
  for (unsigned c = t.first; c < t.first + t.count; ++c) norm += axis[c] * axis[c];
  for (unsigned m = 0; m < t.memberCount && norm > 0; ++m) {
    float along = 0;
    for (unsigned c = t.first; c < t.first + t.count; ++c) {
      along += (t.pixels->rgba[t.members[m]][c] - mean[c]) * axis[c];
    }
    along /= norm;
    low = m == 0 ? along : std::min(low, along);
    high = m == 0 ? along : std::max(high, along);
  }
  float ends[2][4] = {};
  for (unsigned c = t.first; c < t.first + t.count; ++c) {
    ends[0][c] = mean[c] + low * axis[c];
    ends[1][c] = mean[c] + high * axis[c];
  }
  SubsetFit best = QuantiseBest(t, ends);

  // Least squares: the endpoints that best fit the indices chosen, quantised again.
  const std::uint8_t* weights = Weights(t.indexBits);
  for (int round = 0; round < kRefinements && best.error > 0; ++round) {
    float aa = 0, ab = 0, bb = 0, ax[4] = {}, bx[4] = {};
    for (unsigned m = 0; m < t.memberCount; ++m) {
      const float w = weights[best.index[t.members[m]]] / 64.0f, v = 1 - w;
      aa += v * v, ab += v * w, bb += w * w;
      for (unsigned c = t.first; c < t.first + t.count; ++c) {
        ax[c] += v * t.pixels->rgba[t.members[m]][c];
        bx[c] += w * t.pixels->rgba[t.members[m]][c];
      }
    }
    const float det = aa * bb - ab * ab;
    if (std::abs(det) < 1e-6f) break;
    for (unsigned c = t.first; c < t.first + t.count; ++c) {
      ends[0][c] = (bb * ax[c] - ab * bx[c]) / det;
      ends[1][c] = (aa * bx[c] - ab * ax[c]) / det;
    }
    SubsetFit refined = QuantiseBest(t, ends);
    if (refined.error >= best.error) break;
    best = refined;
  }
  if (t.count == 1 && t.pBits == PBits::None) PolishAlone(t, best);
  return best;
}

// The anchor pixel's index must have its top bit clear: if not, the endpoints swap and every
// index of the subset turns round.
void PutAnchorFirst(SubsetFit& fit, unsigned anchor, unsigned indexBits,
                    const std::uint8_t* subsetOf, unsigned subset) {
  const unsigned top = (1u << indexBits) - 1;
  if (fit.index[anchor] <= top / 2) return;
  std::swap(fit.code[0], fit.code[1]);
  std::swap(fit.value[0], fit.value[1]);
  std::swap(fit.p[0], fit.p[1]);
  for (unsigned i = 0; i < 16; ++i) {
    if (subsetOf[i] == subset) fit.index[i] = static_cast<std::uint8_t>(top - fit.index[i]);
  }
}

constexpr std::uint8_t kOneSubset[16] = {};

const std::uint8_t* SubsetsOf(const Mode& mode, unsigned partition) {
  return mode.subsets == 1 ? kOneSubset : bptc::kPartition2[partition];
}

unsigned Anchor(const Mode& mode, unsigned partition, unsigned subset) {
  return subset == 0 ? 0 : mode.subsets == 2 ? bptc::kAnchor2[partition] : 0;
}

std::uint32_t Error(const Pixels& pixels, const std::uint8_t* decoded) {
  std::uint32_t error = 0;
  for (unsigned i = 0; i < 16; ++i) {
    if (!(pixels.counted >> i & 1)) continue;
    for (unsigned c = 0; c < 4; ++c) {
      const int diff = int(decoded[4 * i + c]) - int(pixels.rgba[i][c]);
      error += static_cast<std::uint32_t>(diff * diff) * (c == 3 ? kAlphaWeight : 1);
    }
  }
  return error;
}

// A mode with one index set (0 to 3, 6, 7): every subset fitted on R, G, B (and A when the mode
// has alpha).
Choice FitSharedIndices(const Pixels& pixels, const Mode& mode, unsigned partition, bool opaque) {
  Choice choice;
  choice.mode = &mode;
  choice.partition = partition;
  const std::uint8_t* subsetOf = SubsetsOf(mode, partition);
  const std::uint8_t* weights = Weights(mode.indexBits);
  for (unsigned s = 0; s < mode.subsets; ++s) {
    std::uint8_t members[16];
    unsigned count = 0;
    for (std::uint8_t i = 0; i < 16; ++i) {
      if (subsetOf[i] == s && (pixels.counted >> i & 1)) members[count++] = i;
    }
    FitTask task =
        MakeTask(pixels, members, count, 0, mode.alphaBits ? 4 : 3, mode, mode.indexBits);
    task.keepOpaque = mode.alphaBits != 0 && opaque;
    SubsetFit fit = FitSubset(task);
    PutAnchorFirst(fit, Anchor(mode, partition, s), mode.indexBits, subsetOf, s);
    for (unsigned e = 0; e < 2; ++e) {
      std::memcpy(choice.code[s][e], fit.code[e], 4);
      choice.p[s][e] = fit.p[e];
      if (mode.alphaBits == 0) fit.value[e][3] = 255;
    }
    for (unsigned i = 0; i < 16; ++i) {
      if (subsetOf[i] != s) continue;
      choice.index[i] = fit.index[i];
      for (unsigned c = 0; c < 4; ++c) {
        choice.decoded[4 * i + c] = Mix(fit.value[0][c], fit.value[1][c], weights[fit.index[i]]);
      }
    }
  }
  choice.error = Error(pixels, choice.decoded);
  return choice;
}

// Mode 4 or 5: colour and alpha fitted apart, each with an index set of its own. Rotation r
// stores channel r - 1 in alpha's place and alpha in its; selection 1 gives colour mode 4's
// 3-bit indices.
Choice FitSeparateAlpha(const Pixels& original, const Mode& mode, unsigned rotation,
                        unsigned selection) {
  Pixels pixels = original;
  if (rotation != 0) {
    for (auto& px : pixels.rgba) std::swap(px[3], px[rotation - 1]);
  }
  std::uint8_t members[16];
  unsigned count = 0;
  for (std::uint8_t i = 0; i < 16; ++i) {
    if (pixels.counted >> i & 1) members[count++] = i;
  }
  const unsigned colourIndexBits = selection ? mode.secondIndexBits : mode.indexBits;
  const unsigned alphaIndexBits = selection ? mode.indexBits : mode.secondIndexBits;
  SubsetFit colour = FitSubset(MakeTask(pixels, members, count, 0, 3, mode, colourIndexBits));
  SubsetFit alpha = FitSubset(MakeTask(pixels, members, count, 3, 1, mode, alphaIndexBits));
  PutAnchorFirst(colour, 0, colourIndexBits, kOneSubset, 0);
  PutAnchorFirst(alpha, 0, alphaIndexBits, kOneSubset, 0);

  Choice choice;
  choice.mode = &mode;
  choice.rotation = rotation;
  choice.selection = selection;
  for (unsigned e = 0; e < 2; ++e) {
    std::memcpy(choice.code[0][e], colour.code[e], 3);
    choice.code[0][e][3] = alpha.code[e][3];
  }
  std::memcpy(selection ? choice.secondIndex : choice.index, colour.index, 16);
  std::memcpy(selection ? choice.index : choice.secondIndex, alpha.index, 16);
  for (unsigned i = 0; i < 16; ++i) {
    std::uint8_t* out = choice.decoded + 4 * i;
    for (unsigned c = 0; c < 3; ++c) {
      out[c] =
          Mix(colour.value[0][c], colour.value[1][c], Weights(colourIndexBits)[colour.index[i]]);
    }
    out[3] = Mix(alpha.value[0][3], alpha.value[1][3], Weights(alphaIndexBits)[alpha.index[i]]);
    if (rotation != 0) std::swap(out[3], out[rotation - 1]);
  }
  choice.error = Error(original, choice.decoded);
  return choice;
}

// Mode 5 with every index 1: each channel's endpoints mix to it exactly.
Choice FitOneColour(const Pixels& pixels, const std::uint8_t* colour) {
  Choice choice;
  choice.mode = &kMode5;
  const SingleColour& table = Mode5SingleColour();
  for (unsigned c = 0; c < 3; ++c) {
    choice.code[0][0][c] = table.code[colour[c]][0];
    choice.code[0][1][c] = table.code[colour[c]][1];
  }
  choice.code[0][0][3] = choice.code[0][1][3] = colour[3];
  std::fill(std::begin(choice.index), std::end(choice.index), 1);
  for (unsigned i = 0; i < 16; ++i) {
    for (unsigned c = 0; c < 3; ++c) {
      choice.decoded[4 * i + c] =
          Mix(Widen(choice.code[0][0][c], 7), Widen(choice.code[0][1][c], 7), bptc::kWeights2[1]);
    }
    choice.decoded[4 * i + 3] = colour[3];
  }
  choice.error = Error(pixels, choice.decoded);
  return choice;
}

// How far pixels lie from the line through them, for 64 sets of pixels at once (one a lane, so
// that the compiler can work on several together): the covariance's trace less its largest
// eigenvalue, which a few rounds of power iteration find. `s` holds, per lane, the count, the
// sums of the C channels and the sums of the products of each pair of channels.
template <unsigned C>
void Residuals(const float (*s)[64], float* residual) {
  for (unsigned p = 0; p < 64; ++p) {
    const float inverse = 1.0f / std::max(s[0][p], 1.0f);
    float cov[C][C];
    unsigned at = 1 + C;
    for (unsigned a = 0; a < C; ++a) {
      for (unsigned b = a; b < C; ++b, ++at) {
        cov[a][b] = cov[b][a] = s[at][p] - s[1 + a][p] * s[1 + b][p] * inverse;
      }
    }
    float v[C], trace = 0;
    for (unsigned c = 0; c < C; ++c) v[c] = 1, trace += cov[c][c];
    for (int iteration = 0; iteration < 3; ++iteration) {
      float next[C] = {}, length = 1e-6f;
      for (unsigned a = 0; a < C; ++a) {
        for (unsigned b = 0; b < C; ++b) next[a] += cov[a][b] * v[b];
        length = std::max(length, std::abs(next[a]));
      }
      for (unsigned a = 0; a < C; ++a) v[a] = next[a] / length;
    }
    float vv = 1e-12f, vcv = 0;
    for (unsigned a = 0; a < C; ++a) {
      float row = 0;
      for (unsigned b = 0; b < C; ++b) row += cov[a][b] * v[b];
      vv += v[a] * v[a], vcv += v[a] * row;
    }
    residual[p] = trace - vcv / vv;
  }
}

// The two-subset partitions in order of promise: for each, how far the pixels of each subset lie
// from the line through them, summed. C is 3 (R, G, B) or 4 (with A).
template <unsigned C>
void RankPartitions(const Pixels& pixels, int* best, int count) {
  constexpr unsigned kStats = 1 + C + C * (C + 1) / 2;
  float stats[16][kStats] = {}, all[kStats] = {};
  for (unsigned i = 0; i < 16; ++i) {
    if (!(pixels.counted >> i & 1)) continue;
    const std::uint8_t* px = pixels.rgba[i];
    unsigned at = 0;
    stats[i][at++] = 1;
    for (unsigned c = 0; c < C; ++c) stats[i][at++] = px[c];
    for (unsigned a = 0; a < C; ++a) {
      for (unsigned b = a; b < C; ++b) stats[i][at++] = float(px[a]) * float(px[b]);
    }
    for (unsigned k = 0; k < kStats; ++k) all[k] += stats[i][k];
  }
  float one[kStats][64] = {}, zero[kStats][64];
  for (unsigned p = 0; p < 64; ++p) {
    for (unsigned i = 0; i < 16; ++i) {
      if (bptc::kPartition2[p][i] == 0) continue;
      for (unsigned k = 0; k < kStats; ++k) one[k][p] += stats[i][k];
    }
    for (unsigned k = 0; k < kStats; ++k) zero[k][p] = all[k] - one[k][p];
  }
  float score[64], other[64];
  Residuals<C>(one, score);
  Residuals<C>(zero, other);
  for (unsigned p = 0; p < 64; ++p) score[p] += other[p];
  int order[64];
  for (int p = 0; p < 64; ++p) order[p] = p;
  std::partial_sort(order, order + count, order + 64,
                    [&](int a, int b) { return score[a] < score[b]; });
  std::copy(order, order + count, best);
}

class BitWriter {
 public:
  explicit BitWriter(std::byte* out) : out_(out) { std::memset(out, 0, 16); }
  void Put(unsigned value, unsigned bits) {
    for (unsigned b = 0; b < bits; ++b, ++at_) {
      if (value >> b & 1) out_[at_ / 8] |= std::byte(1u << (at_ % 8));
    }
  }

 private:
  std::byte* out_;
  unsigned at_ = 0;
};

void Write(const Choice& c, std::byte* block) {
  const Mode& mode = *c.mode;
  BitWriter bits(block);
  bits.Put(1u << mode.number, mode.number + 1);
  bits.Put(c.partition, mode.partitionBits);
  bits.Put(c.rotation, mode.rotationBits);
  bits.Put(c.selection, mode.selectionBits);
  for (unsigned ch = 0; ch < 3; ++ch) {
    for (unsigned s = 0; s < mode.subsets; ++s) {
      for (unsigned e = 0; e < 2; ++e) bits.Put(c.code[s][e][ch], mode.colourBits);
    }
  }
  for (unsigned s = 0; s < mode.subsets; ++s) {
    for (unsigned e = 0; e < 2; ++e) bits.Put(c.code[s][e][3], mode.alphaBits);
  }
  for (unsigned s = 0; s < mode.subsets; ++s) {
    if (mode.pBits == PBits::PerEndpoint) bits.Put(c.p[s][0], 1), bits.Put(c.p[s][1], 1);
    if (mode.pBits == PBits::Shared) bits.Put(c.p[s][0], 1);
  }
  const unsigned anchor = mode.subsets == 2 ? bptc::kAnchor2[c.partition] : 0;
  for (unsigned i = 0; i < 16; ++i) {
    bits.Put(c.index[i], mode.indexBits - (i == 0 || i == anchor));
  }
  for (unsigned i = 0; mode.secondIndexBits && i < 16; ++i) {
    bits.Put(c.secondIndex[i], mode.secondIndexBits - (i == 0));
  }
}

void KeepBetter(Choice& best, const Choice& candidate) {
  if (candidate.error < best.error) best = candidate;
}

}  // namespace

void EncodeBc7Block(const std::uint8_t* rgba, std::uint16_t counted, std::byte* block,
                    std::uint8_t* decoded) {
  Pixels pixels;
  std::memcpy(pixels.rgba, rgba, 64);
  pixels.counted = counted;
  bool oneColour = true, opaque = true;
  int firstCounted = -1;
  for (int i = 0; i < 16; ++i) {
    if (!(counted >> i & 1)) continue;
    if (firstCounted < 0) firstCounted = i;
    oneColour = oneColour && std::memcmp(rgba + 4 * i, rgba + 4 * firstCounted, 4) == 0;
    opaque = opaque && rgba[4 * i + 3] == 255;
  }
  Choice best;
  if (firstCounted < 0 || oneColour) {
    const std::uint8_t black[4] = {0, 0, 0, 255};
    best = FitOneColour(pixels, firstCounted < 0 ? black : rgba + 4 * firstCounted);
  } else {
    best = FitSharedIndices(pixels, kMode6, 0, opaque);
  }
  if (best.error > kGoodEnough) {
    int partitions[kPartitionsWithAlpha];
    if (opaque) {
      RankPartitions<3>(pixels, partitions, kPartitionsOpaque);
    } else {
      RankPartitions<4>(pixels, partitions, kPartitionsWithAlpha);
    }
    if (opaque) {
      // Mode 3's 2-bit indices suit sharp edges, where the first partition is nearly always
      // the one; mode 1's 3-bit ones take the others too.
      KeepBetter(best,
                 FitSharedIndices(pixels, kMode3, static_cast<unsigned>(partitions[0]), true));
      for (int p : std::span(partitions, kPartitionsOpaque)) {
        KeepBetter(best, FitSharedIndices(pixels, kMode1, static_cast<unsigned>(p), true));
      }
    } else {
      KeepBetter(best, FitSeparateAlpha(pixels, kMode5, 0, 0));
      KeepBetter(best, FitSeparateAlpha(pixels, kMode4, 0, 0));
      for (int p : partitions) {
        KeepBetter(best, FitSharedIndices(pixels, kMode7, static_cast<unsigned>(p), false));
      }
    }
  }
  Write(best, block);
  if (decoded) std::memcpy(decoded, best.decoded, 64);
}

}  // namespace sodrel
