// sodrel-bench-decode [SIDE]
//
// How fast the block decoders turn a SIDE x SIDE texture (4096 by default) of random blocks into
// B, G, R, A rows, one row of blocks at a time into the same 4-row buffer, as the preview does:
// each row of blocks read from a file (in the page cache after the first run), then decoded.
// BC6H and BC7 blocks cycle through every mode, so no mode's cost is left out. Prints megapixels
// per second for each layout, the best of five runs in processor time (the machine may be shared).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/Generate.h"
#include "dds/BlockDecoders.h"

using sodrel::BlockLayout;

int main(int argc, char** argv) {
  const std::uint32_t side = argc > 1 ? static_cast<std::uint32_t>(std::atoi(argv[1])) : 4096;
  if (side < 4 || side > 16384) {
    std::fprintf(stderr, "usage: sodrel-bench-decode [SIDE, 4 to 16384]\n");
    return 2;
  }
  const struct {
    const char* name;
    BlockLayout layout;
  } kLayouts[] = {{"BC7", BlockLayout::Bc7},
                  {"BC6H UF16", BlockLayout::Bc6hUnsigned},
                  {"BC6H SF16", BlockLayout::Bc6hSigned},
                  {"BC5", BlockLayout::Bc5Unsigned},
                  {"BC4", BlockLayout::Bc4Unsigned}};
  const std::size_t blocksPerRow = (side + 3) / 4;
  std::vector<std::uint8_t> rows(std::size_t{side} * 4 * 4);
  for (const auto& [name, layout] : kLayouts) {
    const std::vector<std::byte> blocks =
        sodrel::bench::RandomBlocks(layout, blocksPerRow * blocksPerRow);
    const std::size_t rowBytes = blocksPerRow * sodrel::BlockBytes(layout);
    const std::string path = std::filesystem::temp_directory_path() / "sodrel-bench-decode.blocks";
    std::FILE* file = std::fopen(path.c_str(), "w+b");
    if (file == nullptr || std::fwrite(blocks.data(), 1, blocks.size(), file) != blocks.size()) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    std::vector<std::byte> row(rowBytes);
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
      const std::clock_t start = std::clock();
      std::rewind(file);
      for (std::size_t y = 0; y < blocksPerRow; ++y) {
        if (std::fread(row.data(), 1, rowBytes, file) != rowBytes) return 1;
        sodrel::DecodeBlockRow(layout, row.data(), side, 4, rows.data(), std::size_t{side} * 4);
      }
      best = std::min(best, double(std::clock() - start) / CLOCKS_PER_SEC);
    }
    std::fclose(file);
    std::remove(path.c_str());
    std::printf("%-10s %ux%u  %.3f s  %.1f megapixels/s\n", name, side, side, best,
                double(side) * side / best / 1e6);
  }
  return 0;
}
