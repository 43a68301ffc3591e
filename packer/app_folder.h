// The files of an application folder, named and ordered as a region holds them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "packer/file_system.h"

struct AppFile {
  std::u16string name;           // relative, backslash-separated, as the launcher writes it
  std::filesystem::path source;  // its path in the folder, perhaps a link to another file there
  uint64_t size;
  std::filesystem::path file;  // the file itself, with no link on the way, for openFoundFile
  FileId id;                   // what the walk found there
};

// The files of a folder to pack, and the folders walked to find them.
struct AppFiles {
  std::vector<AppFile> files;
  std::vector<std::filesystem::path> folders;  // the application folder first
};

// The region name of the main file given as a relative name with '/' or '\' separators.
// Throws PackError when it is not valid UTF-8.
std::u16string mainEntryName(std::string_view mainName);

// The same name as a path relative to the application folder.
std::filesystem::path relativePath(std::string_view mainName);

// Every regular file below `folder`, the main file first and then by UTF-16 name (code unit
// order), so that the same folder always gives the same order. Links that stay inside the
// folder are followed; empty folders are left out. Throws PackError naming every file the
// launcher could not reproduce as it is (the first 20 of them): a name without a UTF-16 form
// (kNameEncodingProblem) or that Windows cannot store, a file over kMaxFileBytes, a link leading
// outside or in a loop, anything but files and folders, and unreadable files and folders; then
// names that differ only in case.
AppFiles collectAppFiles(const std::filesystem::path& folder, std::string_view mainName);
