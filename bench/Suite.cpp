#include "bench/Suite.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bench/Generate.h"
#include "bench/Measure.h"
#include "container/TextureContainer.h"
#include "dds/DdsTexture.h"
#include "workfiles/WorkingFiles.h"

namespace sodrel::bench {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMiB = 1ull << 20;

constexpr const char* kPillowToBmp =
    "import sys\nfrom PIL import Image\nImage.MAX_IMAGE_PIXELS = None\n"
    "with Image.open(sys.argv[1]) as im:\n"
    "    im.load()\n    im.save(sys.argv[2], 'BMP')\n";

struct Side {
  Command command;
  std::vector<fs::path> removeBefore;  // outputs of the previous run, deleted untimed
};

struct Case {
  std::string name;
  std::string peerLabel;  // the peer command as a person would type it
  Side ours;
  Side peer;
};

std::string SizeName(std::uint64_t bytes) {
  return bytes >= 1024 * kMiB ? std::to_string(bytes / (1024 * kMiB)) + "GiB"
                              : std::to_string(bytes / kMiB) + "MiB";
}

bool Report(const std::string& what, std::error_code error = {}) {
  std::fprintf(stderr, "bench: %s%s%s\n", what.c_str(), error ? ": " : "",
               error ? error.message().c_str() : "");
  return false;
}

RunResult RunOnce(const Side& side) {
  std::error_code ignored;
  for (const fs::path& path : side.removeBefore) fs::remove(path, ignored);
  // Earlier runs' dirty pages are written back now, not during the timed run.
  ::sync();
  return RunTimed(side.command);
}

// Alternates ours and the peer; the first `warmups` rounds are not counted.
std::optional<CaseSummary> Time(const Case& c, int warmups, int runs) {
  std::fprintf(stderr, "bench: %s ...\n", c.name.c_str());
  std::vector<RunResult> ours, peer;
  for (int round = 0; round < warmups + runs; ++round) {
    const RunResult a = RunOnce(c.ours);
    if (!a.succeeded) return Report(c.name + ": our run failed"), std::nullopt;
    const RunResult b = RunOnce(c.peer);
    if (!b.succeeded) return Report(c.name + ": the peer run failed"), std::nullopt;
    if (round >= warmups) {
      ours.push_back(a);
      peer.push_back(b);
    }
  }
  return Summarize(c.name, ours, peer);
}

bool Same(const fs::path& ours, const fs::path& peer, const std::string& name) {
  std::error_code error;
  if (SameContents(ours, peer, error)) return true;
  if (error) return Report(name + ": cannot compare our output with the peer's", error);
  return Report(name + ": our output differs from the peer's (" + ours.string() + ")");
}

// The sizes in a PNG's IHDR chunk.
bool PngSize(const fs::path& path, std::uint32_t& width, std::uint32_t& height) {
  unsigned char head[24] = {};
  if (!std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(head), sizeof head) ||
      std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) != 0) {
    return false;
  }
  const auto big = [&](int at) {
    return std::uint32_t(head[at]) << 24 | std::uint32_t(head[at + 1]) << 16 |
           std::uint32_t(head[at + 2]) << 8 | head[at + 3];
  };
  width = big(16), height = big(20);
  return width > 0 && height > 0;
}

// Whether `path` starts as a PNG of width x height pixels does: the signature, then the IHDR
// chunk with both sizes big-endian.
bool IsPngOf(const fs::path& path, std::uint32_t width, std::uint32_t height) {
  unsigned char head[24] = {};
  if (!std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(head), sizeof head)) {
    return false;
  }
  const auto big = [&](int at) {
    return std::uint32_t(head[at]) << 24 | std::uint32_t(head[at + 1]) << 16 |
           std::uint32_t(head[at + 2]) << 8 | head[at + 3];
  };
  return std::memcmp(head, "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16) == 0 && big(16) == width &&
         big(20) == height;
}

// Game textures from Debian's colobot-common-textures (bench/run installs it), 512 to 2048 pixels
// a side, four of them with alpha; a quick run takes the first alone.
std::vector<fs::path> EncodePictures(bool quick) {
  const fs::path root = "/usr/share/games/colobot";
  const char* const names[] = {
      "textures/objects/wood01.png",
      "textures/green02.png",
      "textures/mix01.png",
      "textures/roca2.png",
      "textures/planets/planet-earth.png",
      "textures/planets/planet-moon.png",
      "textures/planets/planet-terranova.png",
      "mods/AltTextures/textures/effect03.png",
      "textures/cloud09.png",
      "textures/back22.png",
      "textures/interface/interface.png",
      "mods/AltTextures/textures/objects/search.png",
      "mods/AltTextures/textures/objects/apollo.png",
      "mods/AltTextures/textures/objects/lemt.png",
      "textures/back01.png",
      "textures/interface/generico.png",
  };
  std::vector<fs::path> pictures;
  for (const char* name : names) {
    pictures.push_back(root / name);
    if (quick) break;
  }
  return pictures;
}

struct Suite {
  explicit Suite(const SuiteOptions& o) : options(o) {}

  const SuiteOptions& options;
  fs::path programFolder;
  ContainerHeader header{};
  std::vector<CaseSummary> results;
  std::vector<std::string> peerLabels;
  std::vector<std::string> encodeLines;  // "bench encode_<format> <name> psnr ... time ..."
  bool failed = false;

  bool Wanted(const std::string& name) const { return name.rfind(options.only, 0) == 0; }

  // Textures are made by a run of sodrel-bench of their own, so that this process stays small:
  // a child it starts reports its peak memory as at least this process's (posix_spawn's child
  // uses this process's memory until it starts the program).
  bool MakeTexture(const fs::path& path, TextureFormat format, std::uint32_t side, bool mips) {
    Command make{{options.benchProgram.string(), "texture", path.string(),
                  std::string(FormatName(format)), std::to_string(side)},
                 {}};
    if (mips) make.argv.push_back("mips");
    return RunTimed(make).succeeded;
  }

  bool Record(const Case& c, const std::function<bool()>& check, int runs = 0) {
    std::optional<CaseSummary> summary =
        Time(c, options.warmups, runs > 0 && !options.quick ? runs : options.runs);
    if (!summary || !check()) return false;
    results.push_back(*summary);
    peerLabels.push_back(c.peerLabel);
    return true;
  }

  bool Prepare() {
    programFolder = options.work / "program";
    std::error_code error;
    fs::create_directories(WorkingFolder(programFolder), error);
    if (error) return Report("cannot make the program folder", error);
    fs::copy_file(options.headerTemplate, HeaderTemplatePath(programFolder), error);
    if (error) return Report("cannot copy the header template", error);
    if (ConvertResult read = ReadHeader(HeaderTemplatePath(programFolder), header); !read.ok()) {
      return Report("cannot read the header template", read.error);
    }
    return true;
  }

  // With `replace`, every counted run replaces the output of the run before it (ours and the
  // peer's alike), rather than writing a new one.
  bool Export(std::uint64_t size, bool replace = false) {
    const std::string name = (replace ? "replace_" : "export_") + SizeName(size);
    if (!Wanted(name)) return true;
    const fs::path folder = options.work / "export";
    const fs::path container = folder / "texture.bin";
    const fs::path ours = WithSuffix(container, kExportSuffix);
    const fs::path peer = folder / "peer.dds";
    std::error_code error;
    fs::create_directories(folder, error);
    std::vector<std::byte> prefix(header.begin(), header.end());
    for (char ch : std::string_view("DDS ")) prefix.push_back(std::byte(ch));
    if (error || (error = WriteFilledFile(container, prefix, size))) {
      return Report(name + ": cannot make the container", error);
    }
    const std::vector<fs::path> removeOurs{ours}, removePeer{peer};
    const Case c{name,
                 "tail -c +65 in.bin > out.dds",
                 {{{options.benchProgram.string(), "export", container.string()}, {}},
                  replace ? std::vector<fs::path>{} : removeOurs},
                 {{{"tail", "-c", "+65", container.string()}, peer},
                  replace ? std::vector<fs::path>{} : removePeer}};
    const bool ok = Record(c, [&] { return Same(ours, peer, name); });
    fs::remove_all(folder, error);
    return ok;
  }

  bool Build(std::uint64_t size) {
    const std::string name = "build_" + SizeName(size);
    if (!Wanted(name)) return true;
    const fs::path folder = options.work / "build";
    const fs::path dds = folder / "texture.dds";
    const fs::path head = folder / "head64";
    const fs::path ours = WithSuffix(dds, kBuildSuffix);
    const fs::path peer = folder / "peer.bin";
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || (error = WriteFilledFile(dds, std::as_bytes(std::span("DDS ", 4)), size)) ||
        (error = WriteFilledFile(head, header, header.size()))) {
      return Report(name + ": cannot make the input files", error);
    }
    // As the window does before it builds: the chosen file is staged into Temp/ImportFile.
    // Only the build itself (BuildContainer) is timed.
    if (IoResult staged = StageCopy(dds, programFolder, WorkFile::ImportFile); !staged.ok()) {
      return Report(name + ": cannot stage the DDS file", staged.error);
    }
    const Case c{
        name,
        "cat head64 in.dds > out.bin",
        {{{options.benchProgram.string(), "build", dds.string(), programFolder.string()}, {}},
         {ours}},
        {{{"cat", head.string(), dds.string()}, peer}, {peer}}};
    const bool ok = Record(c, [&] { return Same(ours, peer, name); });
    fs::remove_all(folder, error);
    fs::remove(WorkFilePath(programFolder, WorkFile::ImportFile), error);
    return ok;
  }

  // ImageMagick reads neither BC7 nor BC6H; Debian's Pillow opens, loads and saves them instead,
  // and every texture with `pillow`.
  bool Preview(TextureFormat format, std::uint32_t side, bool pillow = false) {
    const std::string name =
        "preview_" + std::string(FormatName(format)) + "_" + std::to_string(side);
    if (!Wanted(name)) return true;
    const fs::path folder = options.work / "preview";
    // The preview reads the exported file beside the container: currentPath + ".dds".
    const fs::path current = folder / (std::string(FormatName(format)) + ".bin");
    const fs::path dds = WithSuffix(current, kExportSuffix);
    const fs::path peer = folder / "peer.bmp";
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !MakeTexture(dds, format, side, false)) {
      return Report(name + ": cannot make the texture", error);
    }
    const std::string sideText = std::to_string(side);
    pillow = pillow || format == TextureFormat::Bc7 || format == TextureFormat::Bc6h;
    const Command peerCommand =
        pillow ? Command{{"/usr/bin/python3", "-c", kPillowToBmp, dds.string(), peer.string()}, {}}
               : Command{{"convert", dds.string(), peer.string()}, {}};
    const Case c{
        name,
        pillow ? "python3 (Pillow): open, load, save in.dds as out.bmp" : "convert in.dds out.bmp",
        {{{options.previewProgram.string(), current.string(), programFolder.string(), sideText,
           sideText},
          {}},
         {WorkFilePath(programFolder, WorkFile::PictureDds),
          WorkFilePath(programFolder, WorkFile::PictureLoadBmp)}},
        {peerCommand, {peer}}};
    // Our program checks its own picture; the peer must at least have written its file.
    const bool ok = Record(c, [&] {
      std::error_code sizeError;
      return fs::file_size(peer, sizeError) > 0 || Report(name + ": no picture from the peer");
    });
    fs::remove_all(folder, error);
    return ok;
  }

  // sodrel-convert thumbnail against ImageMagick's, both writing a PNG of at most `size` pixels;
  // then one more run of ours, untimed, under strace: what it read of the texture must not pass
  // the two header reads (the container probe, the check), the level drawn from (the top without
  // `mips`) and one row of its blocks.
  bool Thumbnail(TextureFormat format, std::uint32_t side, std::uint32_t size, bool mips) {
    const std::string name = "thumbnail_" + std::string(FormatName(format)) + "_" +
                             std::to_string(side) + (mips ? "_mips" : "");
    if (!Wanted(name)) return true;
    const fs::path folder = options.work / "thumbnail";
    const fs::path dds = folder / "texture.dds";
    const fs::path ours = folder / "ours.png";
    const fs::path peer = folder / "peer.png";
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !MakeTexture(dds, format, side, mips)) {
      return Report(name + ": cannot make the texture", error);
    }
    std::uint32_t level = side;
    while (mips && level / 2 >= size) level /= 2;
    const std::uint64_t blockRow = (level + 3) / 4 * (format == TextureFormat::Dxt1 ? 8 : 16);
    const std::uint64_t row = format == TextureFormat::Rgba32 ? 4ull * level : blockRow;
    const std::uint64_t rows = format == TextureFormat::Rgba32 ? level : (level + 3) / 4;
    // What tells the kind of file (a container's header and a DDS header), the header again as
    // the decode checks it, the level and one row more.
    const std::uint64_t allowed =
        kContainerHeaderSize + 2 * kDdsLongestHeaderBytes + rows * row + row;
    const std::string sizeText = std::to_string(size);
    const Case c{
        name,
        "convert in.dds -thumbnail " + sizeText + "x" + sizeText + " out.png",
        {{{options.convertProgram.string(), "thumbnail", "--size", sizeText, dds.string(),
           ours.string()},
          {}},
         {ours}},
        {{{"convert", dds.string(), "-thumbnail", sizeText + "x" + sizeText, peer.string()}, {}},
         {peer}}};
    // Ours must be a PNG of size x size (the texture is square); the peer must have written one.
    const bool ok = Record(c, [&] {
      unsigned char head[24] = {};
      std::ifstream(ours, std::ios::binary).read(reinterpret_cast<char*>(head), sizeof head);
      const auto big = [&](int at) {
        return std::uint32_t(head[at]) << 24 | head[at + 1] << 16 | head[at + 2] << 8 |
               head[at + 3];
      };
      std::error_code sizeError;
      if (head[1] != 'P' || big(16) != size || big(20) != size) {
        return Report(name + ": our picture is not a " + sizeText + " x " + sizeText + " PNG");
      }
      return fs::file_size(peer, sizeError) > 0 || Report(name + ": no picture from the peer");
    });
    const std::optional<std::uint64_t> read =
        ok ? BytesRead(c.ours.command, dds, folder / "strace.log") : std::nullopt;
    if (read) results.back().bytesRead = read;
    fs::remove_all(folder, error);
    if (!ok) return false;
    if (!read) return Report(name + ": cannot count the bytes read (is strace installed?)");
    return *read <= allowed || Report(name + ": read " + std::to_string(*read) + " bytes of the " +
                                      "texture, more than " + std::to_string(allowed));
  }

  // sodrel-convert png of one texture against Pillow's open, load and save as BMP of it.
  bool Png(TextureFormat format, std::uint32_t side) {
    const std::string name = "png_" + std::to_string(side);
    if (!Wanted(name)) return true;
    const fs::path folder = options.work / "png1";
    const fs::path dds = folder / "texture.dds";
    const fs::path ours = folder / "texture.dds.png";
    const fs::path peer = folder / "peer.bmp";
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !MakeTexture(dds, format, side, false)) {
      return Report(name + ": cannot make the texture", error);
    }
    const Case c{
        name,
        "python3 (Pillow): open, load, save in.dds as out.bmp",
        {{{options.convertProgram.string(), "png", "-q", dds.string()}, {}}, {ours}},
        {{{"/usr/bin/python3", "-c", kPillowToBmp, dds.string(), peer.string()}, {}}, {peer}}};
    const bool ok =
        Record(c, [&] { return IsPngOf(ours, side, side) || Report(name + ": no PNG"); });
    fs::remove_all(folder, error);
    return ok;
  }

  // The fixed cost of a short command: sodrel-convert info and thumbnail of one small texture
  // against a bare process start. Many runs, as each takes milliseconds.
  bool ShortCommands() {
    const fs::path folder = options.work / "short";
    const fs::path dds = folder / "small.dds";
    const fs::path png = folder / "small.png";
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !MakeTexture(dds, TextureFormat::Dxt5, 64, false)) {
      return Report("short commands: cannot make the texture", error);
    }
    const Side bare{{{"/bin/true"}, {}}, {}};
    const std::string convert = options.convertProgram.string();
    const Case cases[] = {
        {"short_info", "/bin/true", {{{convert, "info", dds.string()}, "/dev/null"}, {}}, bare},
        {"short_thumbnail",
         "/bin/true",
         {{{convert, "thumbnail", dds.string(), png.string()}, {}}, {png}},
         bare}};
    bool ok = true;
    for (const Case& c : cases) {
      if (Wanted(c.name))
        ok = Record(
                 c, [] { return true; }, 101) &&
             ok;
    }
    fs::remove_all(folder, error);
    return ok;
  }

  // sodrel-convert png -r over a folder of textures, two jobs against one. Each run writes into
  // its own output folder, emptied of the previous run's pictures before it (and -f, so that a
  // picture left over is written again, not kept); afterwards every picture must be a PNG of its
  // texture's size and the same bytes from both runs.
  bool PngJobs(std::size_t count, std::uint32_t smallest, std::uint32_t largest) {
    const std::string name = "png_r_" + std::to_string(count) + "_j2";
    if (!Wanted(name)) return true;
    const fs::path folder = options.work / "png";
    const fs::path textures = folder / "textures";
    const fs::path two = folder / "j2";
    const fs::path one = folder / "j1";
    // Written by a run of sodrel-bench of its own, as MakeTexture explains.
    const Command make{{options.benchProgram.string(), "folder", textures.string(),
                        std::to_string(count), std::to_string(smallest), std::to_string(largest)},
                       {}};
    if (!RunTimed(make).succeeded) return Report(name + ": cannot make the textures");
    const auto side = [&](const fs::path& out, const char* jobs) {
      return Side{{{options.convertProgram.string(), "png", "-r", "-q", "-f", "-j", jobs, "-o",
                    out.string(), textures.string()},
                   {}},
                  {}};
    };
    Case c{name, "sodrel-convert png -r -j 1 DIR", side(two, "2"), side(one, "1")};
    const std::vector<FolderTexture> plan = PlanTextureFolder(count, smallest, largest);
    const auto picture = [](const FolderTexture& t) { return t.relative.string() + ".png"; };
    for (const FolderTexture& t : plan) {
      c.ours.removeBefore.push_back(two / picture(t));
      c.peer.removeBefore.push_back(one / picture(t));
    }
    const bool ok = Record(c, [&] {
      for (const FolderTexture& t : plan) {
        if (!IsPngOf(two / picture(t), t.width, t.height)) {
          return Report(name + ": " + picture(t) + " is not a " + std::to_string(t.width) + " x " +
                        std::to_string(t.height) + " PNG");
        }
        if (!Same(two / picture(t), one / picture(t), name)) return false;
      }
      return true;
    });
    std::error_code error;
    fs::remove_all(folder, error);
    return ok;
  }

  // PSNR (RGB, alpha) of each texture's top level as Pillow decodes it, against the picture.
  std::optional<std::vector<std::pair<double, double>>> Psnr(const fs::path& picture,
                                                             const std::vector<fs::path>& textures,
                                                             const fs::path& folder) {
    Command run{{"/usr/bin/python3", options.psnrScript.string(), picture.string()},
                folder / "psnr.txt"};
    for (const fs::path& t : textures) run.argv.push_back(t.string());
    if (!RunTimed(run).succeeded) return std::nullopt;
    std::ifstream in(run.output);
    std::vector<std::pair<double, double>> psnr;
    for (std::string line; std::getline(in, line);) {
      double rgb = 0, alpha = 0;
      if (std::sscanf(line.c_str(), "rgb=%lf alpha=%lf", &rgb, &alpha) == 2) {
        psnr.emplace_back(rgb, alpha);
      }
    }
    if (psnr.size() != textures.size()) return std::nullopt;
    return psnr;
  }

  // A picture into a texture with its mip chain, DXT1 and DXT5 against nvcompress -bc1 and -bc3
  // (both on the two cores, process start included), then BC7 on one core against our DXT1 on
  // one core, with the PSNR of each top level.
  bool Encode(const fs::path& picture) {
    const std::string stem = picture.stem().string();
    const fs::path folder = options.work / "encode";
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) return Report("cannot make the encode folder", error);
    bool ok = true;
    fs::path dxt1, dxt5;
    for (const char* format : {"dxt1", "dxt5"}) {
      const std::string name = std::string("encode_") + format + "_" + stem;
      const std::string flag = format == std::string("dxt1") ? "-bc1" : "-bc3";
      const fs::path ours = folder / (std::string(format) + ".dds");
      const fs::path peer = folder / (std::string(format) + "-nvcompress.dds");
      (format == std::string("dxt1") ? dxt1 : dxt5) = ours;
      if (!Wanted(name)) continue;
      const Case c{
          name,
          "nvcompress " + flag + " in.png out.dds",
          {{{options.encodeProgram.string(), picture.string(), ours.string(), format}, {}}, {ours}},
          {{{"nvcompress", flag, picture.string(), peer.string()}, folder / "nv.log"}, {peer}}};
      std::optional<std::vector<std::pair<double, double>>> psnr;
      if (!Record(c, [&] {
            return (psnr = Psnr(picture, {ours, peer}, folder)).has_value() ||
                   Report(name + ": Pillow could not measure the textures");
          })) {
        ok = false;
        continue;
      }
      char line[256];
      std::snprintf(line, sizeof line,
                    "bench encode_%s %s psnr ours %.2f nvcompress %.2f time ours %.1f nvcompress "
                    "%.1f",
                    format, stem.c_str(), (*psnr)[0].first, (*psnr)[1].first, results.back().oursMs,
                    results.back().peerMs);
      encodeLines.push_back(line);
    }
    const std::string name = "encode_bc7_" + stem;
    if (Wanted(name)) {
      const fs::path ours = folder / "bc7.dds", oneCore = folder / "dxt1-one-core.dds";
      const Case c{
          name,
          "sodrel-bench-encode in.png out.dds dxt1 1",
          {{{options.encodeProgram.string(), picture.string(), ours.string(), "bc7", "1"}, {}},
           {ours}},
          {{{options.encodeProgram.string(), picture.string(), oneCore.string(), "dxt1", "1"}, {}},
           {oneCore}}};
      std::optional<std::vector<std::pair<double, double>>> psnr;
      // The DXT5 of the case above, or made now when that case was left out.
      const bool made =
          fs::exists(dxt5) ||
          RunTimed({{options.encodeProgram.string(), picture.string(), dxt5.string(), "dxt5"}, {}})
              .succeeded;
      std::uint32_t width = 0, height = 0;
      if (!made || !PngSize(picture, width, height) || !Record(c, [&] {
            return (psnr = Psnr(picture, {ours, oneCore, dxt5}, folder)).has_value() ||
                   Report(name + ": Pillow could not measure the textures");
          })) {
        ok = false;
      } else {
        // Every level of the chain counts: each about a quarter of the one above.
        double megapixels = 0;
        for (std::uint32_t w = width, h = height;;
             w = std::max(1u, w / 2), h = std::max(1u, h / 2)) {
          megapixels += double(w) * h / 1e6;
          if (w == 1 && h == 1) break;
        }
        char line[256];
        std::snprintf(line, sizeof line,
                      "bench encode_bc7 %s psnr ours %.2f dxt1 %.2f alpha ours %.2f dxt5 %.2f "
                      "time_per_megapixel ours %.3f s dxt1 %.3f s",
                      stem.c_str(), (*psnr)[0].first, (*psnr)[1].first, (*psnr)[0].second,
                      (*psnr)[2].second, results.back().oursMs / 1000 / megapixels,
                      results.back().peerMs / 1000 / megapixels);
        encodeLines.push_back(line);
      }
    }
    fs::remove_all(folder, error);
    return ok;
  }

  void Print() const {
    std::printf(
        "\nMedians of %d counted runs after %d warm-up run(s), ours and the peer alternating;"
        " ratio: median of the pairwise ours / peer.\n",
        options.runs, options.warmups);
    std::printf(
        "\n| case | ours (ms) | peer (ms) | ours / peer | peak RSS of ours (MiB) | bytes read by "
        "ours | peer |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---|\n");
    for (std::size_t i = 0; i < results.size(); ++i) {
      const CaseSummary& r = results[i];
      const std::string read = r.bytesRead ? std::to_string(*r.bytesRead) : "";
      std::printf("| %s | %.1f | %.1f | %.3f | %.1f | %s | `%s` |\n", r.name.c_str(), r.oursMs,
                  r.peerMs, r.ratio, r.peakRssMiB, read.c_str(), peerLabels[i].c_str());
    }
    std::printf("\n");
    for (const CaseSummary& r : results) std::printf("%s\n", MachineLine(r).c_str());
    for (const std::string& line : encodeLines) std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }
};

}  // namespace

int RunSuite(const SuiteOptions& options) {
  Suite suite(options);
  if (!suite.Prepare()) return 1;
  const std::vector<std::uint64_t> sizes =
      options.quick ? std::vector<std::uint64_t>{kMiB}
                    : std::vector<std::uint64_t>{16 * kMiB, 256 * kMiB, 1024 * kMiB};
  const std::uint32_t side = options.quick ? 64 : 4096;
  bool ok = true;
  for (std::uint64_t size : sizes) ok = suite.Export(size) && ok;
  for (std::uint64_t size : sizes) ok = suite.Build(size) && ok;
  const std::vector<std::uint64_t> replaced =
      options.quick ? std::vector<std::uint64_t>{kMiB}
                    : std::vector<std::uint64_t>{16 * kMiB, 256 * kMiB};
  for (std::uint64_t size : replaced) ok = suite.Export(size, true) && ok;
  for (TextureFormat format : kTextureFormats) ok = suite.Preview(format, side) && ok;
  // What the window waits for with the largest textures, against Pillow.
  ok = suite.Preview(TextureFormat::Dxt5, options.quick ? 32 : 8192, true) && ok;
  ok = suite.Preview(TextureFormat::Dxt1, options.quick ? 32 : 16384, true) && ok;
  ok = suite.Png(TextureFormat::Dxt1, options.quick ? 32 : 16384) && ok;
  ok = suite.ShortCommands() && ok;
  for (const bool mips : {false, true}) {
    ok = suite.Thumbnail(TextureFormat::Dxt5, side, options.quick ? 16 : 256, mips) && ok;
  }
  ok = (options.quick ? suite.PngJobs(8, 16, 32) : suite.PngJobs(200, 256, 2048)) && ok;
  for (const fs::path& picture : EncodePictures(options.quick)) ok = suite.Encode(picture) && ok;
  suite.Print();
  if (suite.results.empty()) {
    Report("no case was measured");
    ok = false;
  }
  return ok ? 0 : 1;
}

}  // namespace sodrel::bench
