#include "io/AtomicOutput.h"
#include "io/FileIo.h"

namespace sodrel {

IoResult CopyFileReplacing(const std::filesystem::path& source,
                           const std::filesystem::path& destination) {
  InputFile in;
  if (IoResult opened = in.Open(source); !opened.ok()) return opened;
  AtomicOutput output(destination, OutputMode::Replace, Durability::Scratch);
  if (IoResult created = output.Open(); !created.ok()) return created;
  if (IoResult copied = CopyBytes(in.fd(), 0, output.fd(), in.size(), Stop()); !copied.ok()) {
    return copied;
  }
  if (IoResult same = in.Unchanged(); !same.ok()) return same;
  return output.Commit(Stop());
}

}  // namespace sodrel
