#include "packer/config/version_strings.h"

#include <cstdint>

#include "packer/config/launcher_config.h"
#include "packer/config/placeholder.h"
#include "packer/messages/text_encoding.h"

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

std::string versionText(const VersionNumbers& numbers) {
  return std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." +
         std::to_string(numbers[2]) + "." + std::to_string(numbers[3]);
}

ProgramValue valueFromProgram(VersionKey key, const ProgramVersion& program,
                              const std::string& mainName) {
  const std::string main = "\"" + mainName + "\"";
  ProgramValue found;
  if (!program.present) {
    found.why = main + " has no version resource";
    return found;
  }
  if (!program.problem.empty()) {
    found.why = "the version resource of " + main + " cannot be read: " + program.problem;
    return found;
  }
  const char16_t* name = kVersionKeyInfo[key].resourceName;
  const std::u16string* units = program.find(name);
  if (!units) {
    found.why = "the version resource of " + main + " has no " + utf16ToUtf8(name);
    return found;
  }
  const std::string problem = resourceValueProblem(key, *units);
  found.why = problem.empty() ? "" : "the " + utf16ToUtf8(name) + " of " + main + " " + problem;
  const std::optional<VersionNumbers> fixed =
      key == kFileVersionKey                                   ? program.fileVersion
      : kVersionKeyInfo[key].rule == VersionRule::kFourNumbers ? program.productVersion
                                                               : std::nullopt;
  if (problem.empty()) {
    found = {true, utf16ToUtf8(*units), utf16ToUtf8(name) + " of " + main, ""};
  } else if (fixed) {
    found.found = true;
    found.value = versionText(*fixed);
    found.source = "the fixed part of the version resource of " + main;
  }
  return found;
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
    const ProgramValue found = valueFromProgram(key, *program, mainName);
    if (found.found) {
      strings.values[key] = found.value;
      strings.sources[key] = found.source;
    } else if (key != kDescriptionKey) {
      note(field(key), "is missing, and " + found.why + ": set " + field(key));
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
