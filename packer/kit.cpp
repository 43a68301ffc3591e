#include "packer/kit.h"

#include <algorithm>
#include <fstream>
#include <map>

#include "packer/pack_error.h"
#include "packer/text_encoding.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kKeys[] = {"cxx",          "windres", "libraries", "system_libraries",
                                 "link_options", "manifest"};

std::vector<std::string> splitList(const std::string& value) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= value.size()) {
    const size_t end = std::min(value.find(';', start), value.size());
    if (end > start) {
      items.push_back(value.substr(start, end - start));
    }
    start = end + 1;
  }
  return items;
}

std::map<std::string, std::string> readValues(const fs::path& file) {
  const std::string shown = printablePath(file);
  std::ifstream in(file);
  if (!in) {
    throw PackError(shown +
                    ": kit file cannot be read; build the Windows tree first or pass --kit");
  }
  std::map<std::string, std::string> values;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty()) {
      continue;
    }
    const size_t equals = line.find('=');
    const std::string key = line.substr(0, equals);
    if (equals == std::string::npos ||
        std::find(std::begin(kKeys), std::end(kKeys), key) == std::end(kKeys)) {
      throw PackError(shown + ":" + std::to_string(number) + ": not a kit setting: " + line);
    }
    values[key] = line.substr(equals + 1);
  }
  for (const char* key : kKeys) {
    if (values.count(key) == 0) {
      throw PackError(shown + ": kit file lacks " + key);
    }
  }
  return values;
}

void checkExists(const fs::path& kitFile, const fs::path& path) {
  std::error_code error;
  if (!fs::exists(path, error)) {
    throw PackError(printablePath(kitFile) + ": " + printablePath(path) +
                    " does not exist; build the Windows tree first");
  }
}

}  // namespace

Kit readKit(const fs::path& file) {
  std::map<std::string, std::string> values = readValues(file);
  Kit kit{values["cxx"],
          values["windres"],
          splitList(values["libraries"]),
          splitList(values["system_libraries"]),
          splitList(values["link_options"]),
          values["manifest"]};
  for (const std::string& library : kit.libraries) {
    checkExists(file, library);
  }
  checkExists(file, kit.manifest);
  return kit;
}
