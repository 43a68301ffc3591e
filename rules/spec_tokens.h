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

// The parts of a spec as the launcher reads it: every other unit is literal, a "{" opens a name
// (discarding one already open: names do not nest) and the next "}" closes it.
enum class SpecPartKind {
  kLiteral,        // a run of units outside braces, copied as they are
  kName,           // "{", a name and "}": `token` is its entry, null for a name no token has
  kDiscardedName,  // "{" and the units up to the next "{", which opens a name anew
  kStrayClose,     // a "}" with no open name
  kUnclosedName,   // "{" and the rest of the spec, never closed
};

struct SpecPart {
  SpecPartKind kind;
  size_t start;  // its first unit: the "{" of a name
  size_t units;  // braces included
  const SpecTokenName* token;
};

// Calls `visit(part)` for each part of the `length` units at `spec`, in order, while it returns
// true: the one reading of braces for the launcher's expansion and checks and the packer's.
template <typename Unit, typename Visit>
void walkSpec(const Unit* spec, size_t length, Visit visit) {
  size_t literal = 0;
  const auto flushLiteral = [&](size_t end) {
    return end == literal ||
           visit(SpecPart{SpecPartKind::kLiteral, literal, end - literal, nullptr});
  };
  for (size_t i = 0; i < length;) {
    if (spec[i] != '{' && spec[i] != '}') {
      ++i;
      continue;
    }
    if (!flushLiteral(i)) {
      return;
    }
    size_t end = i + 1;
    SpecPart part{SpecPartKind::kStrayClose, i, 1, nullptr};
    if (spec[i] == '{') {
      while (end < length && spec[end] != '{' && spec[end] != '}') {
        ++end;
      }
      if (end == length) {
        part = {SpecPartKind::kUnclosedName, i, end - i, nullptr};
      } else if (spec[end] == '{') {
        part = {SpecPartKind::kDiscardedName, i, end - i, nullptr};
      } else {
        ++end;  // past the "}"
        part = {SpecPartKind::kName, i, end - i, findSpecToken(spec + i + 1, end - i - 2)};
      }
    }
    if (!visit(part)) {
      return;
    }
    i = literal = end;
  }
  flushLiteral(length);
}

// Whether `spec` (`length` units) names a token whose value is new at every start, so that
// every start gets a target directory of its own.
template <typename Unit>
bool usesPerStartToken(const Unit* spec, size_t length) {
  bool perStart = false;
  walkSpec(spec, length, [&](const SpecPart& part) {
    perStart = part.kind == SpecPartKind::kName && part.token != nullptr && part.token->perStart;
    return !perStart;
  });
  return perStart;
}

// The token named by the `length` units at `name`, or SpecToken::kUnknown.
template <typename Unit>
SpecToken specToken(const Unit* name, size_t length) {
  const SpecTokenName* entry = findSpecToken(name, length);
  return entry == nullptr ? SpecToken::kUnknown : entry->token;
}
