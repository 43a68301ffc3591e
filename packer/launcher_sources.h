// The three generated sources that turn a configuration and a region into a launcher with the
// kit: the configuration constants (C++), the region in read-only data (assembler) and the
// executable's resources (resource script).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "packer/launcher_config.h"

// Defines the constants declared in build/launcher_config.h, exact to the UTF-16 unit.
std::string configSource(const LauncherConfig& config);

// A file in the tool's working folder (a plain name) and its length in bytes.
struct AssembledFile {
  std::string_view name;
  uint64_t length;
};

// Places `region` as kPayloadRegion and `table` as kEntryTable in read-only data, each followed
// by its u64 length (kPayloadRegionLength, kEntryTableLength), as payload/attached_payload.cpp
// declares them.
std::string regionAssembly(const AssembledFile& region, const AssembledFile& table);

// Neutral-language icon group from `iconFile`, manifest from `manifestFile` (plain names in the
// tool's working folder) and the version block of `config`.
std::string resourceScript(const LauncherConfig& config, std::string_view iconFile,
                           std::string_view manifestFile);
