#include "packer/target_spec.h"

#include <algorithm>
#include <iterator>

#include "packer/text_encoding.h"
#include "rules/spec_tokens.h"

namespace {

constexpr std::u16string_view kForbiddenInPaths = u"<>\"|?*:";
constexpr size_t kDriveColon = 1;
constexpr char16_t kLastControlCharacter = 0x1F;
// Folders that belong to the user who starts the launcher: no other user can change what the
// launcher unpacks there.
constexpr SpecToken kPerUserTokens[] = {SpecToken::kCacheDir, SpecToken::kHome, SpecToken::kTemp};

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

// The token the spec starts with, or null.
const SpecTokenName* leadingToken(std::u16string_view spec) {
  const size_t close = spec.find(u'}');
  if (spec.empty() || spec[0] != u'{' || close == std::u16string_view::npos) {
    return nullptr;
  }
  return findSpecToken(spec.data() + 1, close - 1);
}

bool climbsUp(std::u16string_view spec) {
  size_t start = 0;
  for (size_t i = 0; i <= spec.size(); ++i) {
    if (i == spec.size() || spec[i] == u'\\' || spec[i] == u'/') {
      if (spec.substr(start, i - start) == u"..") {
        return true;
      }
      start = i + 1;
    }
  }
  return false;
}

std::string fullPathTokens() {
  std::string names;
  for (const SpecTokenName& token : kSpecTokens) {
    if (token.fullPath) {
      names += std::string(names.empty() ? "" : ", ") + "{" + token.name + "}";
    }
  }
  return names;
}

// The problem of the literal character at `at`, or "".
std::string literalProblem(std::u16string_view spec, size_t at) {
  const char16_t unit = spec[at];
  const std::string where = " at unit " + std::to_string(at + 1);
  if (unit <= kLastControlCharacter) {
    return "holds the control character " + unitName(unit) + where +
           ", which no Windows path can hold (" + kSingleQuoteHint + ")";
  }
  if (kForbiddenInPaths.find(unit) == std::u16string_view::npos ||
      (at == kDriveColon && isAsciiLetter(spec[0]))) {
    return "";
  }
  return "holds " + quoted(spec.substr(at, 1)) + where + ", which no Windows path can hold" +
         (unit == u':' ? " but after a drive letter" : "");
}

// The problems of the braces and token names, and of the literal characters between them.
std::string partsProblem(std::u16string_view spec) {
  size_t open = std::u16string_view::npos;
  for (size_t i = 0; i < spec.size(); ++i) {
    if (spec[i] == u'{') {
      if (open != std::u16string_view::npos) {
        return "has a \"{\" inside the open name " + quoted(spec.substr(open, i - open));
      }
      open = i;
    } else if (spec[i] == u'}') {
      if (open == std::u16string_view::npos) {
        return "has a \"}\" with no open name";
      }
      const std::u16string_view name = spec.substr(open + 1, i - open - 1);
      if (name.empty()) {
        return "has an empty token name \"{}\"";
      }
      if (findSpecToken(name.data(), name.size()) == nullptr) {
        return "has the unknown token " + quoted(spec.substr(open, i - open + 1));
      }
      open = std::u16string_view::npos;
    } else if (open == std::u16string_view::npos) {
      std::string problem = literalProblem(spec, i);
      if (!problem.empty()) {
        return problem;
      }
    }
  }
  if (open != std::u16string_view::npos) {
    return "has a \"{\" that is never closed: " + quoted(spec.substr(open));
  }
  return "";
}

}  // namespace

std::string targetSpecProblem(std::u16string_view spec) {
  if (spec.empty()) {
    return "is empty";
  }
  if (spec.size() > kMaxTargetSpecUnits) {
    return "is " + std::to_string(spec.size()) + " UTF-16 units long; the launcher takes at most " +
           std::to_string(kMaxTargetSpecUnits);
  }
  std::string problem = partsProblem(spec);
  if (!problem.empty()) {
    return problem;
  }
  const SpecTokenName* token = leadingToken(spec);
  if (!(token && token->fullPath) && !startsWithDrive(spec) && !startsWithShare(spec)) {
    return "is not absolute, so the launcher would unpack below whatever folder it is started "
           "in: start it with a token that gives a full path (" +
           fullPathTokens() +
           "), a drive such as \"C:\\\" or a share such as \"\\\\server\\share\"";
  }
  return "";
}

std::string sharedTargetProblem(std::u16string_view spec) {
  const SpecTokenName* token = leadingToken(spec);
  const bool perUser =
      token != nullptr && std::find(std::begin(kPerUserTokens), std::end(kPerUserTokens),
                                    token->token) != std::end(kPerUserTokens);
  if (perUser && !climbsUp(spec)) {
    return "";
  }
  return std::string(perUser ? "climbs out of the user's own folder with \"..\""
                             : "does not start in a folder of the user's own "
                               "({CACHE_DIR}, {HOME} or {TEMP})") +
         ": whoever else can write to the target directory can change the program that the "
         "launcher starts; add shared_target = true to [application] if that is intended";
}
