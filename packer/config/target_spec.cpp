#include "packer/config/target_spec.h"

#include <algorithm>
#include <iterator>

#include "packer/config/placeholder.h"
#include "packer/messages/nearest_name.h"
#include "packer/system/text_encoding.h"

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

// The known tokens of the spec, read as the launcher reads them: a "{" inside an open name
// starts the name anew.
std::vector<TokenUse> tokenUses(std::u16string_view spec) {
  std::vector<TokenUse> uses;
  size_t open = std::u16string_view::npos;
  bool written = false;
  for (size_t i = 0; i < spec.size(); ++i) {
    if (spec[i] == u'{') {
      open = i;
    } else if (spec[i] == u'}' && open != std::u16string_view::npos) {
      if (const SpecTokenName* token = findSpecToken(spec.data() + open + 1, i - open - 1)) {
        uses.push_back({open, !written, token});
      }
      open = std::u16string_view::npos;
      written = true;
    } else if (open == std::u16string_view::npos) {
      written = true;
    }
  }
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
    if (i == path.size() || path[i] == u'\\' || path[i] == u'/') {
      if (path.substr(start, i - start) == u"..") {
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

// The token the unknown `name` likely stands for, by spelling or by the folder it names.
std::string likelyToken(std::u16string_view name) {
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
  return likely.empty() ? "" : " (did you mean " + braced(likely.c_str()) + "?)";
}

std::string unknownTokenProblem(std::u16string_view token) {
  return "has the unknown token " + quoted(token) + likelyToken(token.substr(1, token.size() - 2)) +
         "; the tokens are " + tokenList(false);
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

// The problems of the braces and token names, and of the literal characters between them.
void notePartsProblems(std::u16string_view spec, std::vector<std::string>& problems) {
  size_t open = std::u16string_view::npos;
  for (size_t i = 0; i < spec.size(); ++i) {
    if (spec[i] == u'{') {
      if (open != std::u16string_view::npos) {
        problems.push_back("has a \"{\" inside the open name " +
                           quoted(spec.substr(open, i - open)));
      }
      open = i;
    } else if (spec[i] == u'}') {
      if (open == std::u16string_view::npos) {
        problems.push_back("has a \"}\" with no open name");
      } else if (i == open + 1) {
        problems.push_back("has an empty token name \"{}\"");
      } else if (findSpecToken(spec.data() + open + 1, i - open - 1) == nullptr) {
        problems.push_back(unknownTokenProblem(spec.substr(open, i - open + 1)));
      }
      open = std::u16string_view::npos;
    } else if (open != std::u16string_view::npos) {
      continue;
    } else if (const size_t length = placeholderLength(spec, i)) {
      problems.push_back("holds " + quoted(spec.substr(i, length)) + ", which " + kPlaceholderFix +
                         " with a folder name");
      i += length - 1;
    } else if (std::string problem = literalProblem(spec, i); !problem.empty()) {
      problems.push_back(problem);
    }
  }
  if (open != std::u16string_view::npos) {
    problems.push_back("has a \"{\" that is never closed: " + quoted(spec.substr(open)));
  }
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
        tokenList(true) + "), a drive such as \"C:\\\" or a share such as \"\\\\server\\share\"");
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

std::string sharedTargetProblem(std::u16string_view spec, const std::vector<TokenValue>& values) {
  const SpecTokenName* token = leadingToken(spec);
  if (relative(spec) || (!token && !spec.empty() && spec[0] == u'{')) {
    return "";  // targetSpecProblems names what is wrong with its start
  }
  const bool perUser =
      token != nullptr && std::find(std::begin(kPerUserTokens), std::end(kPerUserTokens),
                                    token->token) != std::end(kPerUserTokens);
  if (!perUser) {
    return std::string(
               "does not start in a folder of the user's own ({CACHE_DIR}, {HOME} or "
               "{TEMP})") +
           kSharedTargetRisk + kSharedTargetFix;
  }
  if (climbsUp(spec)) {
    return std::string("climbs out of the user's own folder with \"..\"") + kSharedTargetRisk +
           kSharedTargetFix;
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
