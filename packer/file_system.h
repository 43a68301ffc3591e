// What the packer asks of the file system beyond the standard library's portable part: paths
// as text, names as Windows stores them, opening files and following links. The rest of the
// packer is the same on every system; file_system_posix.cpp and file_system_win32.cpp answer
// these questions each for its own system, and the build compiles one of them.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "packer/pack_error.h"

// A path from UTF-8 text (the configuration file, the command line). On POSIX systems the
// bytes as they are; on Windows their UTF-16 form, which the text must have (the packer's text
// is checked or converted before it becomes a path).
inline std::filesystem::path pathFromUtf8(std::string_view text) {
  return std::filesystem::u8path(text);
}

// `path` for a message or a depfile: its UTF-8 form. What has none (bytes that are not UTF-8,
// an unpaired surrogate) is shown in a visible form instead.
std::string printablePath(const std::filesystem::path& path);

// The failure of an operation on `path`: "<path>: <why>".
inline PackError pathError(const std::filesystem::path& path, const std::string& why) {
  return PackError(printablePath(path) + ": " + why);
}

// The UTF-16 units of `name`, one component of a path, as Windows stores it; nullopt when it
// has no such form, for the reason kNameEncodingProblem gives.
std::optional<std::u16string> nameUnits(const std::filesystem::path& name);
extern const char kNameEncodingProblem[];

// std::fopen of a path with any characters in it: nullptr and errno set on failure.
std::FILE* openFile(const std::filesystem::path& path, const char* mode);

// What the walk of an application folder needs to know of one of its entries.
struct EntryFacts {
  std::filesystem::file_type type;  // what the entry is, a link followed
  bool link;                        // a symbolic link (or another redirection) to elsewhere
  std::filesystem::path canonical;  // its canonicalPath: for a link, where it leads
};

// Examines `path`, an entry of the folder whose canonicalPath is `folder`. Throws pathError
// with "symbolic link loop", "symbolic link cannot be followed: <reason>" or "cannot be
// examined: <reason>".
EntryFacts examineEntry(const std::filesystem::path& path, const std::filesystem::path& folder);

// `path` absolute, every link resolved, in one form for every path of its volume, so that
// paths compare component by component. An empty path when it cannot be resolved, and `why`.
std::filesystem::path canonicalPath(const std::filesystem::path& path, std::string& why);
