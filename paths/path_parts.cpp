#include "paths/path_parts.h"

namespace {

constexpr wchar_t kExtendedPrefix[] = L"\\\\?\\";
constexpr size_t kExtendedPrefixUnits = 4;
constexpr wchar_t kExtendedShare[] = L"UNC\\";
constexpr size_t kExtendedShareUnits = 4;

bool startsWith(const wchar_t* path, size_t units, const wchar_t* prefix, size_t prefixUnits) {
  if (units < prefixUnits) {
    return false;
  }
  for (size_t i = 0; i < prefixUnits; ++i) {
    if (path[i] != prefix[i]) {
      return false;
    }
  }
  return true;
}

// The end of the component that starts at `at`: the next backslash, or the path's end.
size_t componentEnd(const wchar_t* path, size_t units, size_t at) {
  while (at < units && path[at] != L'\\') {
    ++at;
  }
  return at;
}

// The root of `path` after `at`, where a drive or a share's two backslashes would begin.
size_t rootFrom(const wchar_t* path, size_t units, size_t at, bool share) {
  if (share) {
    const size_t server = componentEnd(path, units, at);
    return server < units ? componentEnd(path, units, server + 1) : server;
  }
  return units - at >= 2 && path[at + 1] == L':' ? at + 2 : 0;
}

}  // namespace

size_t rootUnits(const wchar_t* path, size_t units) {
  if (startsWith(path, units, kExtendedPrefix, kExtendedPrefixUnits)) {
    const wchar_t* rest = path + kExtendedPrefixUnits;
    const size_t restUnits = units - kExtendedPrefixUnits;
    const bool share = startsWith(rest, restUnits, kExtendedShare, kExtendedShareUnits);
    return rootFrom(path, units, kExtendedPrefixUnits + (share ? kExtendedShareUnits : 0), share);
  }
  if (startsWith(path, units, L"\\\\", 2)) {
    return rootFrom(path, units, 2, /* share */ true);
  }
  return rootFrom(path, units, 0, /* share */ false);
}

size_t lastComponentStart(const wchar_t* path, size_t units) {
  size_t at = units;
  while (at > 0 && path[at - 1] != L'\\') {
    --at;
  }
  return at;
}

size_t folderAboveUnits(const wchar_t* path, size_t units) {
  const size_t root = rootUnits(path, units);
  const size_t last = lastComponentStart(path, units);
  if (last == 0 || units <= root + 1) {
    return 0;
  }
  return last - 1 == root ? last : last - 1;
}
