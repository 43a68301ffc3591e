#include "packer/config/target_spec.h"

#include <algorithm>
#include <iterator>

#include "packer/app/windows_names.h"
#include "packer/config/placeholder.h"
#include "packer/messages/nearest_name.h"
#include "packer/messages/text_encoding.h"
#include "rules/entry_name.h"
#include "rules/fixed_arguments.h"  // kTargetDirToken
#include "rules/target_rule.h"

namespace {

constexpr std::u16string_view kForbiddenInPaths = u"<>\"|?*:";
constexpr size_t kDriveColon = 1;
constexpr char16_t kLastControlCharacter = 0x1F;
// Folders that belong to the user who starts the launcher: no other user can change what the
// launcher unpacks there.
constexpr SpecToken kPerUserTokens[] = {SpecToken::kCacheDir, SpecToken::kHome, SpecToken::kTemp};
constexpr const char* kSharedTargetRisk =
    ": whoever else can write to the target directory can change the program that the "
    "launcher starts; ";
constexpr const char* kSharedTargetFix =
    "add shared_target = true to [application] if that is intended";

// Environment variables that name folders a token gives, which users write as tokens.
struct TokenAlias {
  const char* variable;
  const char* token;
};
constexpr TokenAlias kTokenAliases[] = {
    {"APPDATA", "CACHE_DIR"}, {"LOCALAPPDATA", "CACHE_DIR"}, {"USERPROFILE", "HOME"}};

// Values of the tokens whose value the packer cannot know, of the form a launcher gives them,
// for the walk of a target: none holds a separator or a dot.
struct StandIn {
  SpecToken token;
  const char16_t* value;
};
constexpr StandIn kStandIns[] = {{SpecToken::kPid, u"4660"},
                                 {SpecToken::kRandom, u"IQHFT9HQGrI"},
                                 {SpecToken::kTimeUs, u"000000"},
                                 {SpecToken::kTime, u"133500000000000000"}};

// A known token between braces, from its "{" to after its "}".
struct TokenUse {
  size_t start;
  bool first;  // nothing comes before it in the expanded path
  const SpecTokenName* token;
};

bool isAsciiLetter(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z');
}

bool startsWithDrive(std::u16string_view spec) {
  return spec.size() >= 3 && isAsciiLetter(spec[0]) && spec[kDriveColon] == u':' &&
         spec[2] == u'\\';
}

// "\\server\share": two backslashes, a server name and a share name, neither empty.
bool startsWithShare(std::u16string_view spec) {
  if (spec.substr(0, 2) != u"\\\\") {
    return false;
  }
  const size_t shareAt = spec.find(u'\\', 2);
  return shareAt != std::u16string_view::npos && shareAt > 2 && shareAt + 1 < spec.size() &&
         spec[shareAt + 1] != u'\\';
}

// The known tokens of the spec, read as the launcher reads them.
std::vector<TokenUse> tokenUses(std::u16string_view spec) {
  std::vector<TokenUse> uses;
  bool written = false;
  walkSpec(spec.data(), spec.size(), [&](const SpecPart& part) {
    if (part.kind == SpecPartKind::kName && part.token) {
      uses.push_back({part.start, !written, part.token});
    }
    written = written || part.kind == SpecPartKind::kLiteral || part.kind == SpecPartKind::kName ||
              part.kind == SpecPartKind::kStrayClose;
    return true;
  });
  return uses;
}

// The token the spec starts with, or null.
const SpecTokenName* leadingToken(std::u16string_view spec) {
  const std::vector<TokenUse> uses = tokenUses(spec);
  return !uses.empty() && uses.front().first ? uses.front().token : nullptr;
}

// Whether a name of `path` (separated by "\" or "/") is "..".
bool climbsUp(std::u16string_view path) {
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || isPathSeparator(path[i])) {
      if (isDotName(path.data() + start, i - start, 2)) {
        return true;
      }
      start = i + 1;
    }
  }
  return false;
}

std::string braced(const char* name) {
  return std::string("{") + name + "}";
}

std::string tokenList(bool fullPathOnly) {
  std::string names;
  for (const SpecTokenName& token : kSpecTokens) {
    if (token.fullPath || !fullPathOnly) {
      names += (names.empty() ? "" : ", ") + braced(token.name);
    }
  }
  return names;
}

// The token the unknown `name` likely stands for, by spelling or by the folder it names; ""
// when none.
std::string likelyTokenName(std::u16string_view name) {
  std::string upper;
  for (char16_t unit : name) {
    upper += unit >= u'a' && unit <= u'z' ? static_cast<char>(unit - u'a' + u'A')
                                          : static_cast<char>(unit < 0x80 ? unit : u'?');
  }
  std::vector<std::string> names;
  for (const SpecTokenName& token : kSpecTokens) {
    names.emplace_back(token.name);
  }
  std::string likely = nearestName(upper, names);
  for (const TokenAlias& alias : kTokenAliases) {
    if (likely.empty() && upper == alias.variable) {
      likely = alias.token;
    }
  }
  return likely;
}

std::string unknownTokenProblem(std::u16string_view token) {
  const std::u16string_view name = token.substr(1, token.size() - 2);
  std::string likely = likelyTokenName(name);
  likely = isTokenName(name.data(), name.size(), kTargetDirToken)
               ? " (" + braced(kTargetDirToken) +
                     " is the target directory itself, for application.arguments only)"
           : likely.empty() ? ""
                            : " (did you mean " + braced(likely.c_str()) + "?)";
  return "has the unknown token " + quoted(token) + likely + "; the tokens are " + tokenList(false);
}

// Why `unit`, outside the tokens at `at` (or inside a value when `at` is npos), cannot be in a
// path, or "".
std::string characterProblem(std::u16string_view spec, size_t at, char16_t unit) {
  if (unit <= kLastControlCharacter) {
    return "the control character " + unitName(unit);
  }
  const bool driveColon = at == kDriveColon && isAsciiLetter(spec[0]);
  if (kForbiddenInPaths.find(unit) == std::u16string_view::npos || driveColon) {
    return "";
  }
  return quoted(std::u16string(1, unit));
}

// The problem of the literal character at `at`, or "".
std::string literalProblem(std::u16string_view spec, size_t at) {
  const char16_t unit = spec[at];
  const std::string character = characterProblem(spec, at, unit);
  if (character.empty()) {
    return "";
  }
  const std::string where = " at unit " + std::to_string(at + 1);
  if (unit <= kLastControlCharacter) {
    return "holds " + character + where + ", which no Windows path can hold (" + kSingleQuoteHint +
           ")";
  }
  return "holds " + character + where + ", which no Windows path can hold" +
         (unit == u':' ? " but after a drive letter" : "");
}

// The length of the placeholder at `at` ("<company>"), or 0 when none starts there.
size_t placeholderLength(std::u16string_view spec, size_t at) {
  if (spec[at] != kPlaceholderOpen) {
    return 0;
  }
  const size_t close = spec.find_first_of(u">\\{", at + 1);
  return close != std::u16string_view::npos && spec[close] == kPlaceholderClose ? close + 1 - at
                                                                                : 0;
}

// The problems of the literal units of `part`: placeholders and characters no path can hold.
void noteLiteralProblems(std::u16string_view spec, const SpecPart& part,
                         std::vector<std::string>& problems) {
  for (size_t i = part.start; i < part.start + part.units; ++i) {
    if (const size_t length = placeholderLength(spec, i)) {
      problems.push_back("holds " + quoted(spec.substr(i, length)) + ", which " + kPlaceholderFix +
                         " with a folder name");
      i += length - 1;
    } else if (std::string problem = literalProblem(spec, i); !problem.empty()) {
      problems.push_back(problem);
    }
  }
}

// The problems of the braces and token names, and of the literal characters between them.
void notePartsProblems(std::u16string_view spec, std::vector<std::string>& problems) {
  walkSpec(spec.data(), spec.size(), [&](const SpecPart& part) {
    const std::u16string_view text = spec.substr(part.start, part.units);
    switch (part.kind) {
      case SpecPartKind::kLiteral:
        noteLiteralProblems(spec, part, problems);
        break;
      case SpecPartKind::kName:
        if (part.units == 2) {
          problems.push_back("has an empty token name \"{}\"");
        } else if (!part.token) {
          problems.push_back(unknownTokenProblem(text));
        }
        break;
      case SpecPartKind::kDiscardedName:
        problems.push_back("has a \"{\" inside the open name " + quoted(text));
        break;
      case SpecPartKind::kStrayClose:
        problems.push_back("has a \"}\" with no open name");
        break;
      case SpecPartKind::kUnclosedName:
        problems.push_back("has a \"{\" that is never closed: " + quoted(text));
        break;
    }
    return true;
  });
}

// Whether the launcher would unpack below whatever folder it is started in. A spec that starts
// with a name it does not know has that problem instead.
bool relative(std::u16string_view spec) {
  const SpecTokenName* token = leadingToken(spec);
  if (!token && !spec.empty() && spec[0] == u'{') {
    return false;
  }
  return !(token && token->fullPath) && !startsWithDrive(spec) && !startsWithShare(spec);
}

const TokenValue* valueOf(const std::vector<TokenValue>& values, SpecToken token) {
  const auto found = std::find_if(values.begin(), values.end(),
                                  [&](const TokenValue& value) { return value.token == token; });
  return found == values.end() ? nullptr : &*found;
}

// The values of `values` that `spec` uses, each once.
std::vector<const TokenValue*> usedValues(std::u16string_view spec,
                                          const std::vector<TokenValue>& values) {
  std::vector<const TokenValue*> used;
  for (const TokenUse& use : tokenUses(spec)) {
    const TokenValue* value = valueOf(values, use.token->token);
    if (value && std::find(used.begin(), used.end(), value) == used.end()) {
      used.push_back(value);
    }
  }
  return used;
}

std::string valueText(const TokenValue& value) {
  const auto token =
      std::find_if(std::begin(kSpecTokens), std::end(kSpecTokens),
                   [&](const SpecTokenName& entry) { return entry.token == value.token; });
  return "uses " + braced(token->name) + ", which is " + quoted(value.value) + " (" + value.source +
         ")";
}

// What in `value` could take the target directory elsewhere: "\", "/" and ".." names.
std::string leavingParts(std::u16string_view value) {
  std::vector<std::string> parts;
  if (value.find(u'\\') != std::u16string_view::npos) {
    parts.emplace_back("\"\\\"");
  }
  if (value.find(u'/') != std::u16string_view::npos) {
    parts.emplace_back("\"/\"");
  }
  if (climbsUp(value)) {
    parts.emplace_back("a \"..\" name");
  }
  std::string text;
  for (size_t i = 0; i < parts.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
  }
  return text;
}

// For a spec that starts with an environment variable, as in "%LOCALAPPDATA%\App": that the
// launcher expands none, and the token that gives its folder.
std::string variableHint(std::u16string_view spec) {
  const size_t close = spec.find(u'%', 1);
  if (spec.empty() || spec[0] != u'%' || close == std::u16string_view::npos || close == 1) {
    return "";
  }
  const std::u16string_view variable = spec.substr(0, close + 1);
  const std::string likely = likelyTokenName(variable.substr(1, variable.size() - 2));
  const SpecTokenName* token = findSpecToken(likely.data(), likely.size());
  return "; the launcher expands no environment variable such as " + quoted(variable) +
         (token && token->fullPath ? ": write " + braced(token->name) + " in its place" : "");
}

// One unit of the text the launcher makes of a spec: the spec's own (a literal unit, or the
// "{" of a token) and, for a token's, the value known for it.
struct Origin {
  size_t specAt;
  const TokenValue* value;
};

// The text a launcher makes of a spec from its unit `from` on, each token in it replaced by its
// value (or a stand-in of its form), and where each of its units comes from.
struct Expansion {
  std::u16string text;
  std::vector<Origin> origins;

  void append(std::u16string_view units, size_t specAt, const TokenValue* value) {
    text.append(units);
    origins.insert(origins.end(), units.size(), Origin{specAt, value});
  }
};

Expansion expandFrom(std::u16string_view spec, size_t from, const std::vector<TokenValue>& values) {
  Expansion expansion;
  walkSpec(spec.data(), spec.size(), [&](const SpecPart& part) {
    if (part.kind == SpecPartKind::kLiteral && part.start + part.units > from) {
      const size_t start = std::max(part.start, from);
      for (size_t i = start; i < part.start + part.units; ++i) {
        expansion.append(spec.substr(i, 1), i, nullptr);
      }
    } else if (part.kind == SpecPartKind::kName && part.token && part.start >= from) {
      const TokenValue* value = valueOf(values, part.token->token);
      const auto standIn =
          std::find_if(std::begin(kStandIns), std::end(kStandIns),
                       [&](const StandIn& entry) { return entry.token == part.token->token; });
      std::u16string_view units;
      if (value) {
        units = value->value;
      } else if (standIn != std::end(kStandIns)) {
        units = standIn->value;
      }
      expansion.append(units, part.start, value);
    }
    return true;
  });
  return expansion;
}

bool isPerUser(const SpecTokenName& token) {
  return std::find(std::begin(kPerUserTokens), std::end(kPerUserTokens), token.token) !=
         std::end(kPerUserTokens);
}

// Why the ".." at `origin` takes the target out of the folder that `token` gives.
std::string climbProblem(const SpecTokenName& token, const Origin& origin) {
  const std::string folder =
      std::string(isPerUser(token) ? "the user's own folder" : "the folder") + " that " +
      braced(token.name) + " gives";
  const std::string refused =
      "; the launcher refuses that at every start, with shared_target = true too";
  if (origin.value) {
    return valueText(*origin.value) + " and holds " + leavingParts(origin.value->value) +
           ", so the target directory may lie outside " + folder + refused + ": give " +
           origin.value->key + " a value without them";
  }
  return "climbs out of " + folder + ", with the \"..\" at unit " +
         std::to_string(origin.specAt + 1) + refused +
         ": a target lies in that folder, below it, or beside it under a name that goes on from "
         "the folder's own, such as " +
         braced(token.name) + "-data";
}

// Why the name of the `units` units at `start` of the expansion cannot be created as it is, or
// "": it ends in a dot or a blank, which Windows drops, or is a device's. `shown` is the name as
// the message shows it.
std::string nameProblem(const Expansion& expansion, size_t start, size_t units,
                        const std::u16string& shown) {
  const std::u16string name = expansion.text.substr(start, units);
  const EntryNameRule rule = findEntryComponentFault(name.data(), name.size()).rule;
  if (rule != EntryNameRule::kTrailingDotOrBlank && rule != EntryNameRule::kDeviceName) {
    return "";
  }
  const std::string why = windowsComponentProblem(shown);
  for (size_t i = start; i < start + units; ++i) {
    if (const TokenValue* value = expansion.origins[i].value) {
      return valueText(*value) + " and makes the folder name " + quoted(shown) +
             ", which Windows cannot create as it is: " + why + "; give " + value->key +
             " another value, or write the folder's name into target_spec";
    }
  }
  return "has the folder name " + quoted(shown) + " at unit " +
         std::to_string(expansion.origins[start].specAt + 1) +
         ", which Windows cannot create as it is: " + why + "; rename it";
}

// What the walk of a target finds: why it leaves the folder its first token gives, and the
// names Windows cannot create as they are.
struct WalkedTarget {
  std::string climb;
  std::vector<std::string> names;
};

// Walks `spec` (with no problems of its own) as a launcher walks the target it expands from it
// (rules/target_rule.h), with the values the launcher will carry, not knowing the folder the
// first token gives.
WalkedTarget walkTarget(std::u16string_view spec, const std::vector<TokenValue>& values) {
  const std::vector<TokenUse> uses = tokenUses(spec);
  const SpecTokenName* token = !uses.empty() && uses.front().first && uses.front().token->fullPath
                                   ? uses.front().token
                                   : nullptr;
  // A drive or share is a root, which its first separator ends.
  const size_t from = token ? uses.front().start + std::char_traits<char>::length(token->name) + 2
                      : startsWithDrive(spec) ? kDriveColon + 1
                                              : spec.find(u'\\', spec.find(u'\\', 2) + 1);
  WalkedTarget walked;
  if (from == std::u16string_view::npos) {
    return walked;
  }
  const Expansion expansion = expandFrom(spec, from, values);
  const std::u16string& rest = expansion.text;
  const auto noName = [](const char16_t*, size_t) { return false; };
  const TargetWalk walk = walkTargetRest(
      rest.data(), rest.size(), /* root */ token == nullptr, noName,
      [&](size_t start, size_t units, bool continuesValue) {
        const std::u16string shown =
            continuesValue ? *utf8ToUtf16(braced(token->name)) + rest.substr(start, units)
                           : rest.substr(start, units);
        const std::string problem = nameProblem(expansion, start, units, shown);
        if (!problem.empty()) {
          walked.names.push_back(problem);
        }
      });
  if (token && walk.reach != TargetReach::kKept) {
    walked.climb = climbProblem(*token, expansion.origins[walk.at]);
  }
  return walked;
}

}  // namespace

std::vector<std::string> targetSpecProblems(std::u16string_view spec) {
  if (spec.empty()) {
    return {"is empty"};
  }
  if (spec.size() > kMaxTargetSpecUnits) {
    return {"is " + std::to_string(spec.size()) +
            " UTF-16 units long; the launcher takes at most " +
            std::to_string(kMaxTargetSpecUnits)};
  }
  std::vector<std::string> problems;
  notePartsProblems(spec, problems);
  if (relative(spec)) {
    problems.push_back(
        "is not absolute, so the launcher would unpack below whatever folder it is started in: "
        "start it with a token that gives a full path (" +
        tokenList(true) + "), a drive such as \"C:\\\" or a share such as \"\\\\server\\share\"" +
        variableHint(spec));
  }
  for (const TokenUse& use : tokenUses(spec)) {
    if (use.token->fullPath && !use.first) {
      const std::string token = braced(use.token->name);
      problems.push_back("has " + token + " at unit " + std::to_string(use.start + 1) + ": " +
                         token + " gives a full path, which may only start the spec");
    }
  }
  return problems;
}

std::vector<std::string> tokenValueProblems(std::u16string_view spec,
                                            const std::vector<TokenValue>& values) {
  std::vector<std::string> problems;
  for (const TokenValue* value : usedValues(spec, values)) {
    for (char16_t unit : value->value) {
      const std::string character = characterProblem(spec, std::u16string_view::npos, unit);
      if (!character.empty()) {
        problems.push_back(valueText(*value) + " and holds " + character +
                           ", a character no Windows path can hold there; give " + value->key +
                           " a value without it");
        break;
      }
    }
  }
  return problems;
}

std::vector<std::string> targetNameProblems(std::u16string_view spec,
                                            const std::vector<TokenValue>& values) {
  return targetSpecProblems(spec).empty() ? walkTarget(spec, values).names
                                          : std::vector<std::string>{};
}

std::string targetClimbProblem(std::u16string_view spec, const std::vector<TokenValue>& values) {
  return targetSpecProblems(spec).empty() ? walkTarget(spec, values).climb : "";
}

std::string sharedTargetProblem(std::u16string_view spec, const std::vector<TokenValue>& values) {
  const SpecTokenName* token = leadingToken(spec);
  if (relative(spec) || (!token && !spec.empty() && spec[0] == u'{')) {
    return "";  // targetSpecProblems names what is wrong with its start
  }
  const std::string climb = targetClimbProblem(spec, values);
  if (!climb.empty()) {
    return climb;
  }
  if (token == nullptr || !isPerUser(*token)) {
    return std::string(
               "does not start in a folder of the user's own ({CACHE_DIR}, {HOME} or "
               "{TEMP})") +
           kSharedTargetRisk + kSharedTargetFix;
  }
  for (const TokenValue* value : usedValues(spec, values)) {
    const std::string parts = leavingParts(value->value);
    if (!parts.empty()) {
      return valueText(*value) + " and holds " + parts +
             ", so the target directory may lie outside the user's own folder" + kSharedTargetRisk +
             "give " + value->key + " a value without them, or " + kSharedTargetFix;
    }
  }
  return "";
}
