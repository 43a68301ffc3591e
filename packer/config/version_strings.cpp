#include "packer/config/version_strings.h"

#include <cstdint>

#include "packer/config/launcher_config.h"
#include "packer/config/placeholder.h"
#include "packer/system/text_encoding.h"

namespace {

constexpr size_t kVersionParts = 4;
constexpr unsigned kMaxVersionPart = 65535;

std::string field(VersionKey key) {
  return std::string("version.") + kVersionKeyInfo[key].key;
}

// What the resource value `units` of `key` lacks or breaks, as it is shown after its name.
std::string resourceValueProblem(VersionKey key, const std::u16string& units) {
  if (!validUtf16(units)) {
    return "is not valid UTF-16";
  }
  if (units.size() > kMaxStringUnits) {
    return "is longer than " + std::to_string(kMaxStringUnits) + " UTF-16 units";
  }
  const std::string problem = versionValueProblem(key, utf16ToUtf8(units));
  return problem.empty() || units.empty() ? problem : ::quoted(units) + " " + problem;
}

}  // namespace

std::string valueFromProgram(VersionKey key, const ProgramVersion& program,
                             const std::string& mainName, std::string& value) {
  const std::string main = "\"" + mainName + "\"";
  if (!program.present) {
    return main + " has no version resource";
  }
  if (!program.problem.empty()) {
    return "the version resource of " + main + " cannot be read: " + program.problem;
  }
  const char16_t* name = kVersionKeyInfo[key].resourceName;
  const std::u16string* units = program.find(name);
  if (!units) {
    return "the version resource of " + main + " has no " + utf16ToUtf8(name);
  }
  const std::string problem = resourceValueProblem(key, *units);
  if (!problem.empty()) {
    return "the " + utf16ToUtf8(name) + " of " + main + " " + problem;
  }
  value = utf16ToUtf8(*units);
  return "";
}

std::optional<VersionNumbers> parseVersion(std::string_view text) {
  VersionNumbers numbers{};
  size_t part = 0;
  size_t digits = 0;
  unsigned value = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '.') {
      if (digits == 0 || part == kVersionParts) {
        return std::nullopt;
      }
      numbers[part++] = static_cast<uint16_t>(value);
      digits = value = 0;
    } else if (text[i] >= '0' && text[i] <= '9') {
      value = value * 10 + static_cast<unsigned>(text[i] - '0');
      if (value > kMaxVersionPart) {
        return std::nullopt;
      }
      ++digits;
    } else {
      return std::nullopt;
    }
  }
  if (part != kVersionParts) {
    return std::nullopt;
  }
  return numbers;
}

std::string versionValueProblem(VersionKey key, std::string_view value) {
  if (isPlaceholder(value)) {
    return kPlaceholderFix;
  }
  switch (kVersionKeyInfo[key].rule) {
    case VersionRule::kNonEmpty:
      return value.empty() ? "is empty" : "";
    case VersionRule::kFourNumbers:
      return parseVersion(value) ? "" : "is not four numbers 0..65535 separated by dots";
    case VersionRule::kAny:
      return "";
  }
  return "";
}

VersionStrings resolveVersionStrings(const GivenVersion& given, const ProgramVersion* program,
                                     const std::string& mainName, const NoteProblem& note) {
  VersionStrings strings;
  for (size_t i = 0; i < kVersionKeys; ++i) {
    const VersionKey key = static_cast<VersionKey>(i);
    strings.sources[key] = field(key);
    if (given[key].present || !program) {
      strings.values[key] = given[key].value.value_or("");
      continue;
    }
    const std::string why = valueFromProgram(key, *program, mainName, strings.values[key]);
    if (why.empty()) {
      strings.sources[key] =
          utf16ToUtf8(kVersionKeyInfo[key].resourceName) + " of \"" + mainName + "\"";
    } else if (key != kDescriptionKey) {
      note(field(key), "is missing, and " + why + ": set " + field(key));
    }
  }
  if (!given[kDescriptionKey].present && strings.values[kDescriptionKey].empty()) {
    strings.values[kDescriptionKey] = strings.values[kProductKey];
    strings.sources[kDescriptionKey] = strings.sources[kProductKey];
  }
  strings.fileVersion = parseVersion(strings.values[kFileVersionKey]).value_or(VersionNumbers{});
  strings.productVersion =
      parseVersion(strings.values[kProductVersionKey]).value_or(VersionNumbers{});
  return strings;
}
