#include "packer/system/whole_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "packer/messages/pack_error.h"
#include "packer/system/file_system.h"

std::vector<unsigned char> readWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw PackError(printablePath(path) + ": cannot be read: " + std::strerror(errno));
  }
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) {
    throw PackError(printablePath(path) + ": cannot be read");
  }
  std::vector<unsigned char> bytes(static_cast<size_t>(size));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!in) {
    throw PackError(printablePath(path) + ": cannot be read");
  }
  return bytes;
}
