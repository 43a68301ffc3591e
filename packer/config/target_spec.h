// Checking a target spec before a launcher carries it, which could only fail on it at run time
// or unpack somewhere unintended.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rules/path_limits.h"
#include "rules/spec_tokens.h"

// The launcher expands the spec into a path buffer: 4096 units with the terminating NUL.
constexpr size_t kMaxTargetSpecUnits = kPathUnits - 1;

// Shown with problems that a double-quoted TOML string brings about: there a backslash starts
// an escape.
constexpr const char* kSingleQuoteHint =
    "write Windows paths as single-quoted TOML strings, which keep backslashes as they are: "
    "target_spec = '{CACHE_DIR}\\Company\\App'";

// Every reason why a launcher would refuse `spec`, expand it other than as written or unpack to
// a place that depends on where it is started, each worded to follow the key; none when there
// is none: an empty spec, one over kMaxTargetSpecUnits, an unknown token name (with the known
// ones, and the one it likely meant) or an empty one (names compare without regard to ASCII
// case), a "}" with no open name, a "{" inside an open name, a "{" never closed, a placeholder
// of `tarnic-pack init`, a character outside the tokens that no Windows path can hold (control
// characters, < > " | ? * and a ":" anywhere but after a drive letter), a spec that is not
// absolute (it must start with a token whose value is a full path, a drive "X:\" or a share
// "\\server\share"; one that starts with an environment variable, "%LOCALAPPDATA%\x", is told the
// token to write), and a token whose value is a full path anywhere but at the start.
std::vector<std::string> targetSpecProblems(std::u16string_view spec);

// The value the launcher puts in place of a token of the spec, for messages with the key
// that sets it ("version.company") and where it came from (that key, or a string of the main
// program's version resource).
struct TokenValue {
  SpecToken token;
  std::u16string value;
  std::string key;
  std::string source;
};

// The problems of the values of `values` that `spec` uses, where the launcher puts them into
// the path: a character that no Windows path can hold, ":" included.
std::vector<std::string> tokenValueProblems(std::u16string_view spec,
                                            const std::vector<TokenValue>& values);

// The folder names of `spec`, with `values` in place of its tokens (and of those whose value
// is new at every start, a value of their form), that Windows cannot create as they are: one
// that ends in a dot or a blank, which Windows drops, or that Windows takes for a device (NUL,
// COM1, ...), each worded to follow the key, with the value that brings it in. None for a spec
// with targetSpecProblems.
std::vector<std::string> targetNameProblems(std::u16string_view spec,
                                            const std::vector<TokenValue>& values);

// Why a launcher would refuse, at every start, the target that `spec` gives with `values` in
// place of its tokens, or "" when it would not: after a first token whose value is a full path,
// a ".." (of the spec or of a value) that leaves the folder the value names, by the rule of
// rules/target_rule.h. Not knowing that folder's name, the packer refuses a ".." that leaves it
// even where one that follows would come back to it. "" for a spec with targetSpecProblems.
std::string targetClimbProblem(std::u16string_view spec, const std::vector<TokenValue>& values);

// Why `spec`, with `values` in place of its tokens, may unpack into a folder that other users
// can write, or "" when it cannot: it must start with a token of a folder of the user's own
// ({CACHE_DIR}, {HOME}, {TEMP}) and not leave it, neither with a ".." (targetClimbProblem) nor
// through a value that holds "\", "/" or a ".." name. Checked unless the configuration says
// shared_target = true. A spec that starts with a name the launcher does not know has that
// problem instead.
std::string sharedTargetProblem(std::u16string_view spec,
                                const std::vector<TokenValue>& values = {});
