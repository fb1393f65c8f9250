#include "convert/TextureNotes.h"

#include "convert/Report.h"
#include "dds/DdsNames.h"

namespace sodrel::convert {
namespace {

std::string Side(std::uint32_t width, std::uint32_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

std::string Bytes(std::uint64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

std::string Images(const DdsTexture& texture) {
  if (texture.cube) {
    return texture.images == 6 ? ", cube map"
                               : ", " + std::to_string(texture.images / 6) + " cube maps";
  }
  return texture.images > 1 ? ", array of " + std::to_string(texture.images) : "";
}

}  // namespace

bool HeaderRead(DdsCheck check) {
  switch (check) {
    case DdsCheck::NotDone:
    case DdsCheck::Unreadable:
    case DdsCheck::TooShortForHeader:
    case DdsCheck::BadMagic:
    case DdsCheck::BadHeaderSize:
    case DdsCheck::BadPixelFormatSize:
      return false;
    default:
      return true;
  }
}

std::string DescribeLayout(const DdsTexture& texture) {
  const std::uint32_t levels = texture.promisedLevels;
  return LayoutName(texture) + ", " + Side(texture.header.width, texture.header.height) + ", " +
         std::to_string(levels) + (levels == 1 ? " level" : " levels") + Images(texture);
}

std::string DescribeLevels(const DdsTexture& texture) {
  if (texture.levels.empty()) return std::to_string(texture.promisedLevels);
  const DdsLevel& last = texture.levels.back();
  std::string text = std::to_string(texture.promisedLevels);
  if (texture.whole()) {
    text += ", " + Side(texture.top().width, texture.top().height);
    if (texture.levels.size() > 1) text += " to " + Side(last.width, last.height);
    if (texture.promisedLevels > texture.levels.size()) {
      text += " (the header promises more levels than the sides allow)";
    }
    return text;
  }
  const CutPoint cut = WhereCut(texture);
  text += " promised, " + std::to_string(cut.wholeLevels) + " whole: the file ends inside ";
  if (cut.image > 0) text += "image " + std::to_string(cut.image) + ", ";
  return text + "level " + std::to_string(cut.level);
}

std::string CutWarning(const std::filesystem::path& path, const FileKindResult& kind) {
  const DdsTexture& dds = kind.dds;
  const bool container = kind.ddsOffset() != 0;
  const std::string its = container ? "its DDS file" : "the DDS file";
  const std::uint64_t held = kind.size - kind.ddsOffset();
  if (dds.check == DdsCheck::TooShortForHeader && container) {
    return Says(path, "warning: " + its + " is cut short",
                "it ends inside the DDS header, the file holds " + Bytes(held));
  }
  const bool laidOut = !dds.levels.empty();
  if (!laidOut || dds.whole()) return {};
  const bool one = dds.promisedLevels == 1 && dds.images == 1;
  const std::string needs = "its header promises " + Bytes(dds.bytesNeeded) +
                            (one ? "" : " for all its levels") + ", the file holds " + Bytes(held);
  if (dds.check == DdsCheck::TruncatedSurface) {
    return Says(path, "warning: " + its + " is cut short", needs);
  }
  const CutPoint cut = WhereCut(dds);
  const std::string where = (cut.image > 0 ? "image " + std::to_string(cut.image) + ", " : "") +
                            "mip level " + std::to_string(cut.level);
  return Says(path, "warning: " + its + " ends inside " + where, needs);
}

}  // namespace sodrel::convert
