// Checking a target spec before a launcher carries it, which could only fail on it at run time
// or unpack somewhere unintended.
#pragma once

#include <string>
#include <string_view>

#include "rules/path_limits.h"

// The launcher expands the spec into a path buffer: 4096 units with the terminating NUL.
constexpr size_t kMaxTargetSpecUnits = kPathUnits - 1;

// Shown with problems that a double-quoted TOML string brings about: there a backslash starts
// an escape.
constexpr const char* kSingleQuoteHint =
    "write Windows paths as single-quoted TOML strings, which keep backslashes as they are: "
    "target_spec = '{CACHE_DIR}\\Company\\App'";

// Why a launcher would refuse `spec`, expand it other than as written or unpack to a place that
// depends on where it is started, or "" when none of that happens: an empty spec, one over
// kMaxTargetSpecUnits, an unknown or empty token name (names compare without regard to ASCII
// case), a "}" with no open name, a "{" inside an open name, a "{" never closed, a character
// outside the tokens that no Windows path can hold (control characters, < > " | ? * and a ":"
// anywhere but after a drive letter), and a spec that is not absolute: it must start with a
// token whose value is a full path, a drive "X:\" or a share "\\server\share".
std::string targetSpecProblem(std::u16string_view spec);

// Why `spec` may unpack into a folder that other users can write, or "" when it cannot: it
// must start with a token of a folder of the user's own ({CACHE_DIR}, {HOME}, {TEMP}) and not
// climb out of it with a ".." name. Checked unless the configuration says shared_target =
// true.
std::string sharedTargetProblem(std::u16string_view spec);
