// The tokens of a target spec, defined once for the launcher, which expands them, and the
// packer, which checks a spec before a launcher carries it. No system calls: both trees compile
// this, and the host tests it.
#pragma once

#include <cstddef>

enum class SpecToken {
  kTemp,
  kProgram,
  kProgramBase,
  kProgramDir,
  kPid,
  kHome,
  kCacheDir,
  kCompany,
  kProduct,
  kVersion,
  kFileVersion,
  kProductVersion,
  kRandom,
  kTimeUs,
  kTime,
  kUnknown,
};

struct SpecTokenName {
  const char* name;  // as written between braces, in upper case
  SpecToken token;
  bool fullPath;  // its value is a full path: a spec may start with it
  bool perStart;  // its value is new at every start (not one the parent launcher published)
};

constexpr SpecTokenName kSpecTokens[] = {
    {"TEMP", SpecToken::kTemp, true, false},
    {"PROGRAM", SpecToken::kProgram, true, false},
    {"PROGRAM_BASE", SpecToken::kProgramBase, true, false},
    {"PROGRAM_DIR", SpecToken::kProgramDir, true, false},
    {"PID", SpecToken::kPid, false, false},
    {"HOME", SpecToken::kHome, true, false},
    {"CACHE_DIR", SpecToken::kCacheDir, true, false},
    {"COMPANY", SpecToken::kCompany, false, false},
    {"PRODUCT", SpecToken::kProduct, false, false},
    {"VERSION", SpecToken::kVersion, false, false},
    {"FILE_VERSION", SpecToken::kFileVersion, false, false},
    {"PRODUCT_VERSION", SpecToken::kProductVersion, false, false},
    {"RANDOM", SpecToken::kRandom, false, true},
    {"TIME_US", SpecToken::kTimeUs, false, true},
    {"TIME", SpecToken::kTime, false, true},
};

// Whether the `length` units at `name` spell `tokenName` (upper case) without regard to ASCII
// case: the comparison of every token name, in specs and in fixed arguments alike. Unit is the
// caller's UTF-16 unit type.
template <typename Unit>
bool isTokenName(const Unit* name, size_t length, const char* tokenName) {
  size_t i = 0;
  for (; i < length && tokenName[i] != '\0'; ++i) {
    const Unit unit = name[i];
    const Unit upper = unit >= 'a' && unit <= 'z' ? static_cast<Unit>(unit - 'a' + 'A') : unit;
    if (upper != static_cast<Unit>(tokenName[i])) {
      return false;
    }
  }
  return i == length && tokenName[i] == '\0';
}

// The entry of the token named by the `length` units at `name`, or null for no token.
template <typename Unit>
const SpecTokenName* findSpecToken(const Unit* name, size_t length) {
  for (const SpecTokenName& entry : kSpecTokens) {
    if (isTokenName(name, length, entry.name)) {
      return &entry;
    }
  }
  return nullptr;
}

// Whether `spec` (`length` units) names a token whose value is new at every start, so that
// every start gets a target directory of its own. A name runs from "{" to the next "}".
template <typename Unit>
bool usesPerStartToken(const Unit* spec, size_t length) {
  for (size_t open = 0; open < length; ++open) {
    if (spec[open] != '{') {
      continue;
    }
    size_t close = open + 1;
    while (close < length && spec[close] != '}' && spec[close] != '{') {
      ++close;
    }
    if (close < length && spec[close] == '}') {
      const SpecTokenName* entry = findSpecToken(spec + open + 1, close - open - 1);
      if (entry != nullptr && entry->perStart) {
        return true;
      }
    }
  }
  return false;
}

// The token named by the `length` units at `name`, or SpecToken::kUnknown.
template <typename Unit>
SpecToken specToken(const Unit* name, size_t length) {
  const SpecTokenName* entry = findSpecToken(name, length);
  return entry == nullptr ? SpecToken::kUnknown : entry->token;
}
