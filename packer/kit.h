// The kit: what the Windows tree hands the packer for linking launchers. One "key=value" a
// line; list values are separated by ';'.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct Kit {
  std::string cxx;                     // the cross C++ compiler, also assembling and linking
  std::string windres;                 // the cross resource compiler
  std::vector<std::string> libraries;  // the launcher code and its static dependencies
  std::vector<std::string> systemLibraries;
  std::vector<std::string> linkOptions;
  std::filesystem::path manifest;
};

// Reads the kit file. Throws PackError when it cannot be read, lacks a key, has an unknown one
// or names a library or manifest that does not exist (the Windows tree is not built).
Kit readKit(const std::filesystem::path& file);
