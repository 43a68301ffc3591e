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
};

constexpr SpecTokenName kSpecTokens[] = {
    {"TEMP", SpecToken::kTemp, true},
    {"PROGRAM", SpecToken::kProgram, true},
    {"PROGRAM_BASE", SpecToken::kProgramBase, true},
    {"PROGRAM_DIR", SpecToken::kProgramDir, true},
    {"PID", SpecToken::kPid, false},
    {"HOME", SpecToken::kHome, true},
    {"CACHE_DIR", SpecToken::kCacheDir, true},
    {"COMPANY", SpecToken::kCompany, false},
    {"PRODUCT", SpecToken::kProduct, false},
    {"VERSION", SpecToken::kVersion, false},
    {"FILE_VERSION", SpecToken::kFileVersion, false},
    {"PRODUCT_VERSION", SpecToken::kProductVersion, false},
    {"RANDOM", SpecToken::kRandom, false},
    {"TIME_US", SpecToken::kTimeUs, false},
    {"TIME", SpecToken::kTime, false},
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

// The token named by the `length` units at `name`, or SpecToken::kUnknown.
template <typename Unit>
SpecToken specToken(const Unit* name, size_t length) {
  const SpecTokenName* entry = findSpecToken(name, length);
  return entry == nullptr ? SpecToken::kUnknown : entry->token;
}
