// The strings of a launcher's version block, which are also the values of the target spec's
// tokens of the same names: each from the configuration's [version] table, or else from the
// main program's own version resource, checked alike wherever it comes from.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "packer/pe/version_block.h"
#include "packer/pe/version_resource.h"

enum VersionKey : size_t {
  kCompanyKey,
  kProductKey,
  kVersionKey,
  kFileVersionKey,
  kProductVersionKey,
  kCopyrightKey,
  kDescriptionKey,
  kVersionKeys,
};

// What a value of a key must be.
enum class VersionRule { kAny, kNonEmpty, kFourNumbers };

struct VersionKeyInfo {
  const char* key;               // in [version]
  const char16_t* resourceName;  // the string of a version resource that gives it
  VersionRule rule;
};

constexpr VersionKeyInfo kVersionKeyInfo[kVersionKeys] = {
    {"company", u"CompanyName", VersionRule::kNonEmpty},
    {"product", u"ProductName", VersionRule::kNonEmpty},
    {"version", u"ProductVersion", VersionRule::kFourNumbers},
    {"file_version", u"FileVersion", VersionRule::kFourNumbers},
    {"product_version", u"ProductVersion", VersionRule::kFourNumbers},
    {"copyright", u"LegalCopyright", VersionRule::kAny},
    {"description", u"FileDescription", VersionRule::kAny},
};

// A key of [version] as the configuration gives it: absent, or present with its value, or
// present with a value that was refused (its problem noted when the file was read).
struct GivenValue {
  bool present = false;
  std::optional<std::string> value;
};
using GivenVersion = std::array<GivenValue, kVersionKeys>;

struct VersionStrings {
  std::array<std::string, kVersionKeys> values;   // UTF-8
  std::array<std::string, kVersionKeys> sources;  // for messages: "version.company", ...
  VersionNumbers fileVersion{};
  VersionNumbers productVersion{};
};

// The four numbers of "a.b.c.d", each 0..65535 in decimal digits; nullopt for anything else.
std::optional<VersionNumbers> parseVersion(std::string_view text);

// Why `value` cannot be the value of `key`, to follow the key (and the value, when it is not
// empty), or "": a placeholder, an empty company or product, a version that is not four
// numbers.
std::string versionValueProblem(VersionKey key, std::string_view value);

// "a.b.c.d".
std::string versionText(const VersionNumbers& numbers);

// What the version resource of a main program gives for a key.
struct ProgramValue {
  bool found = false;
  std::string value;   // checked as a given one is
  std::string source;  // for messages: "CompanyName of "App.exe"", ...
  // Without a value: why there is none, to follow "is missing, and". With one that is not the
  // resource's string (a version string that is not four numbers, for which the numbers of the
  // resource's fixed part stand in): what that string is.
  std::string why;
};

// The value of `key` that the version resource `program` of the main program `mainName`
// gives: its string of the key's name; for a version, when that string is not four numbers,
// the numbers of the fixed part, which Windows shows as the file's version.
ProgramValue valueFromProgram(VersionKey key, const ProgramVersion& program,
                              const std::string& mainName);

// Notes a problem of `field` ("version.company").
using NoteProblem = std::function<void(const std::string& field, const std::string& why)>;

// The value of every key: the given one, else the version resource's `program` of the main
// program `mainName` (valueFromProgram); a description that neither gives is the product's. Notes
// each other key that neither gives, or whose value in the resource is refused, as one problem
// naming both places. With no `program` (the main program could not be read), keys that are not
// given stay empty and unnoted.
VersionStrings resolveVersionStrings(const GivenVersion& given, const ProgramVersion* program,
                                     const std::string& mainName, const NoteProblem& note);
