#include "payload/test_regions.h"

#include <windows.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/support/process.h"

std::string readBinaryFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  if (!in)
    throw std::runtime_error("cannot read " + narrow(path));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::wstring regionPath(const std::string& name) {
  std::wstring self = ownPath();
  return self.substr(0, self.rfind(L'\\')) + L"\\regions\\" + widen(name);
}

std::string regionBytes(const std::string& name) {
  return readBinaryFile(regionPath(name + ".bin"));
}

std::string streamBytes(const std::string& name) {
  return readBinaryFile(regionPath(name + ".stream"));
}

std::string tableBytes(const std::string& name) {
  const std::wstring path = regionPath(name + ".table");
  return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ? "" : readBinaryFile(path);
}

std::vector<StreamEntry> parseStream(const std::string& stream) {
  std::vector<StreamEntry> entries;
  size_t at = 0;
  auto take = [&](size_t n) {
    std::string field = stream.substr(at, n);
    at += n;
    return field;
  };
  for (;;) {
    std::wstring name;
    for (wchar_t unit; (unit = static_cast<unsigned char>(stream[at]) |
                               static_cast<unsigned char>(stream[at + 1]) << 8) != 0;
         at += 2)
      name += unit;
    at += 2;
    if (name.empty())
      return entries;
    uint64_t size = 0;
    std::string field = take(8);
    for (int i = 7; i >= 0; --i)
      size = size << 8 | static_cast<unsigned char>(field[i]);
    take(4);
    entries.push_back({name, take(size)});
  }
}
