#include "preview/DdsDecode.h"

namespace sodrel {

DecodedDds DecodeDds(const std::filesystem::path& path, std::uint64_t offset) {
  DecodedDds decoded;
  if (offset != 0) return decoded;  // not yet: the reader of our own brings offsets
  // The library trusts the header it reads; it sees only files that passed the check.
  decoded.info = InspectDdsFile(path);
  if (!decoded.info.accepted()) return decoded;
  decoded.bitmap = MFreeImage::Load(FIF_DDS, path.c_str(), 0);
  return decoded;
}

}  // namespace sodrel
