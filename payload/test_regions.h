// The regions that the payload tests read, made at build time beside the test program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct StreamEntry {
  std::wstring name;
  std::string data;
};

std::string readBinaryFile(const std::wstring& path);
// Region <name>.bin, and the entry stream <name>.stream it decompresses to.
std::string regionBytes(const std::string& name);
std::string streamBytes(const std::string& name);
// Entry table <name>.table, or nothing when the region has none.
std::string tableBytes(const std::string& name);
// The entries of an entry stream, parsed independently of the launcher's code.
std::vector<StreamEntry> parseStream(const std::string& stream);
std::wstring regionPath(const std::string& name);
