// The fixed arguments an application may have put before the user's (a script for the runtime
// that is the main program, say), defined once for the launcher, which expands and quotes them,
// and the packer, which checks them before a launcher carries them. No system calls: both
// trees compile this, and the host tests it.
//
// Their one token is {TARGET_DIR}, the target directory. Braces follow the rules of target
// specs: they only ever delimit a token name, which compares without regard to ASCII case.
#pragma once

#include <cstddef>

#include "rules/path_limits.h"
#include "rules/spec_tokens.h"  // the reading of braces and the comparison of token names

// Units of the child's command-line buffer, terminator included: at most 32767 characters,
// the most CreateProcessW takes.
constexpr size_t kCommandLineUnits = 32768;

constexpr char kTargetDirToken[] = "TARGET_DIR";

// Walks the fixed argument `text` of `length` units: calls `literal(unit)` for every unit
// outside braces and `targetDirectory()` for every {TARGET_DIR}, in order. Returns `length`
// when every brace belongs to a {TARGET_DIR}; else the position of the first brace that does
// not (a "{" whose name is unknown, empty, holds a "{" or is never closed, or a "}" with no
// open name), having called nothing for it or what follows.
template <typename Unit, typename Literal, typename TargetDirectory>
size_t walkFixedArgument(const Unit* text, size_t length, Literal literal,
                         TargetDirectory targetDirectory) {
  size_t walked = length;
  walkSpec(text, length, [&](const SpecPart& part) {
    if (part.kind == SpecPartKind::kLiteral) {
      for (size_t i = 0; i < part.units; ++i) {
        literal(text[part.start + i]);
      }
      return true;
    }
    if (part.kind == SpecPartKind::kName &&
        isTokenName(text + part.start + 1, part.units - 2, kTargetDirToken)) {
      targetDirectory();
      return true;
    }
    walked = part.start;
    return false;
  });
  return walked;
}

// The most units a fixed argument of `length` units with `targetDirectories` tokens can take
// on the child's command line: a separating blank, two quotes and every unit escaped, the
// target directory at its longest.
constexpr size_t longestQuotedFixedArgument(size_t length, size_t targetDirectories) {
  const size_t tokenUnits = sizeof kTargetDirToken - 1 + 2;
  return 1 + 2 +
         2 * (length - targetDirectories * tokenUnits + targetDirectories * (kPathUnits - 1));
}

// Room the fixed arguments always have on the child's command line: the launcher's own path,
// which comes first, takes at most kPathUnits units (the own-path cache's) and two quotes.
constexpr size_t kFixedArgumentsRoom = kCommandLineUnits - 1 - (kPathUnits + 2);
