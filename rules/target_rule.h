// Where a target directory may lie, decided once for the launcher, which checks the directory it
// expands at every start, and the packer, which checks a spec with the values it will carry. No
// system calls: both trees compile this, and the host tests it.
//
// A spec that starts with a token whose value is a full path ({CACHE_DIR}, {PROGRAM}, ...)
// unpacks into the folder that value names, below it, or beside it under a name that goes on
// from the value's last name ({PROGRAM}.d, {TEMP}-t\x): what follows the token, its rest, may
// climb with ".." no higher than the folder that holds the value, and what it ends in must begin
// with the value. A value that is a root (a drive, a share) has no folder that holds it: text
// may follow it only after a separator, or it would name another drive or share.
#pragma once

#include <cstddef>

enum class TargetReach {
  kKept,           // in or below the value's folder, or beside it under a name that goes on
                   // from the value's last name
  kClimbsOut,      // a ".." climbs above the folder that holds the value
  kLeavesValue,    // a ".." leaves the value's folder, and what follows does not come back
  kContinuesRoot,  // text follows a root value without a separator
};

struct TargetWalk {
  TargetReach reach;
  size_t at;  // the unit of the rest that decides: the ".." that climbs out or leaves
};

// The separators of a path, as the system reads them.
template <typename Unit>
constexpr bool isPathSeparator(Unit unit) {
  return unit == '\\' || unit == '/';
}

// Whether the `units` units at `name` are `dots` dots and nothing else: "." or "..".
template <typename Unit>
bool isDotName(const Unit* name, size_t units, size_t dots) {
  if (units != dots) {
    return false;
  }
  for (size_t i = 0; i < units; ++i) {
    if (name[i] != '.') {
      return false;
    }
  }
  return true;
}

// Walks `rest` (`units` long), the text that follows the value of the spec's first token, and
// says where it leads. `valueIsRoot` tells a value that no folder holds. The names of the rest
// are what its separators ("\" and "/") divide, but for empty ones, "." and "..": the first one
// is the end of the value's last name when no separator comes before it. For each,
// `name(start, units, continuesValue)` is called, in order, so that a caller can check it.
// `beginsWithValueName(name, units)` says whether a name that takes the place of the value's
// last name (after a ".." left it) begins with it, letters in any case as the file system
// compares them; a caller that does not know the value (the packer) says no.
template <typename Unit, typename BeginsWithValueName, typename Name>
TargetWalk walkTargetRest(const Unit* rest, size_t units, bool valueIsRoot,
                          BeginsWithValueName beginsWithValueName, Name name) {
  // Names below the folder that holds the value: the value's own last name is at depth 1.
  size_t depth = 1;
  size_t leftAt = units;  // the first ".." that left the value's folder
  bool beginsWithValue = true;
  size_t start = 0;
  for (size_t end = 0; end <= units; ++end) {
    if (end < units && !isPathSeparator(rest[end])) {
      continue;
    }
    const Unit* piece = rest + start;
    const size_t length = end - start;
    if (start == 0 && length > 0) {
      if (valueIsRoot) {
        return {TargetReach::kContinuesRoot, 0};
      }
      name(size_t{0}, length, /* continues the value */ true);
    } else if (isDotName(piece, length, 2)) {
      if (depth == 0) {
        return {TargetReach::kClimbsOut, start};
      }
      if (--depth == 0 && leftAt == units) {
        leftAt = start;
      }
    } else if (length > 0 && !isDotName(piece, length, 1)) {
      name(start, length, /* continues the value */ false);
      if (++depth == 1) {
        beginsWithValue = beginsWithValueName(piece, length);
      }
    }
    start = end + 1;
  }
  if (depth == 0 || !beginsWithValue) {
    return {TargetReach::kLeavesValue, leftAt};
  }
  return {TargetReach::kKept, units};
}
