// What the packer asks of the file system beyond the standard library's portable part: paths
// as text, names as Windows stores them, opening files and following links. The rest of the
// packer is the same on every system; file_system_posix.cpp and file_system_win32.cpp answer
// these questions each for its own system, and the build compiles one of them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "packer/messages/pack_error.h"

// A path from UTF-8 text (the configuration file, the command line). On POSIX systems the
// bytes as they are; on Windows their UTF-16 form, which the text must have (the packer's text
// is checked or converted before it becomes a path).
inline std::filesystem::path pathFromUtf8(std::string_view text) {
  return std::filesystem::u8path(text);
}

// `path` for a message: the UTF-8 form of its normal form (one separator, the system's own,
// and no "." or ".." names but leading ".."). What has none (bytes that are not UTF-8, an
// unpaired surrogate) is shown in a visible form instead.
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

// Which file a path reached: device and inode on POSIX systems, volume serial number and file
// index on Windows.
struct FileId {
  uint64_t volume = 0;
  uint64_t index = 0;
};
inline bool operator==(const FileId& a, const FileId& b) {
  return a.volume == b.volume && a.index == b.index;
}

// What the walk of an application folder needs to know of one of its entries.
struct EntryFacts {
  std::filesystem::file_type type;  // what the entry is, a link followed
  bool link;                        // a symbolic link (or another redirection) to elsewhere
  std::filesystem::path canonical;  // its canonicalPath: for a link, where it leads
  FileId id;                        // the file or folder reached
};

// Examines `path`, an entry of the folder whose canonicalPath is `folder`. Throws pathError
// with "symbolic link loop", "symbolic link cannot be followed: <reason>" or "cannot be
// examined: <reason>".
EntryFacts examineEntry(const std::filesystem::path& path, const std::filesystem::path& folder);

// Whether the entry `path`, whose region name is `name` and whose own name Windows could not
// store, would be packed: anything but a folder, or a folder with such an entry below it that
// `leftOut` (given the region name of each) does not leave out. Only the folders' listings and
// the entries' types are read, without the system taking a name for anything but itself (on
// Windows, "aux.txt" would reach a device and "x." the file "x"); what cannot be read counts.
bool holdsFiles(const std::filesystem::path& path, const std::u16string& name,
                const std::function<bool(const std::u16string&)>& leftOut);

using FileStream = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// A file of the application opened for reading, and its size as the open file gives it.
struct OpenedFile {
  FileStream stream;
  uint64_t size;
};

// Opens `path`, the canonical path of a file the walk found as `id`, for reading: without
// following a link in its place, and only when it is still that file, so that what is read is
// what the walk checked. Throws pathError naming `shown` with "cannot be read: <reason>" or
// kReplacedFile.
OpenedFile openFoundFile(const std::filesystem::path& path, const FileId& id,
                         const std::filesystem::path& shown);
inline constexpr char kReplacedFile[] = "was replaced while the packer ran";

// `path` absolute, every link resolved, in one form for every path of its volume, so that
// paths compare component by component. An empty path when it cannot be resolved, and `why`.
std::filesystem::path canonicalPath(const std::filesystem::path& path, std::string& why);
