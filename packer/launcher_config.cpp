#include "packer/launcher_config.h"

#include <toml++/toml.h>

#include <algorithm>
#include <initializer_list>

#include "packer/file_system.h"
#include "packer/fixed_arguments.h"
#include "packer/pack_error.h"
#include "packer/region_reader.h"
#include "packer/target_spec.h"
#include "packer/text_encoding.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kVersionParts = 4;
constexpr unsigned kMaxVersionPart = 65535;

// One configuration file being read: every failure names it and the field.
class ConfigReader {
 public:
  ConfigReader(const fs::path& file, const toml::table& root) : file_(file), root_(root) {}

  [[noreturn]] void fail(const std::string& field, const std::string& why) const {
    throw PackError(printablePath(file_) + ": " + field + " " + why);
  }

  // Refuses keys of `table` (named `prefix`) other than `known`, a typo first of all.
  void checkKeys(const toml::table& table, const std::string& prefix,
                 std::initializer_list<std::string_view> known) const {
    for (const auto& [key, node] : table) {
      if (std::find(known.begin(), known.end(), key.str()) == known.end()) {
        fail(prefix + std::string(key.str()), "is not a known key");
      }
    }
  }

  const toml::table& table(const std::string& name) const {
    const toml::node* node = root_.get(name);
    if (!node) {
      fail(name, "is missing: the [" + name + "] table");
    }
    if (!node->is_table()) {
      fail(name, "must be a table");
    }
    return *node->as_table();
  }

  // The string at `key` of `table`, or nullopt when absent.
  std::optional<std::string> optionalString(const toml::table& table, const std::string& field,
                                            std::string_view key) const {
    const toml::node* node = table.get(key);
    if (!node) {
      return std::nullopt;
    }
    if (!node->is_string()) {
      fail(field, "must be a string");
    }
    std::string value = node->as_string()->get();
    if (value.find('\0') != std::string::npos) {
      fail(field, "holds a NUL character");
    }
    std::optional<std::u16string> units = utf8ToUtf16(value);
    if (!units) {
      fail(field, "is not valid UTF-8");
    }
    if (units->size() > kMaxStringUnits) {
      fail(field, "is longer than " + std::to_string(kMaxStringUnits) + " UTF-16 units");
    }
    return value;
  }

  std::string string(const toml::table& table, const std::string& prefix,
                     std::string_view key) const {
    const std::string field = prefix + std::string(key);
    std::optional<std::string> value = optionalString(table, field, key);
    if (!value) {
      fail(field, "is missing");
    }
    return *value;
  }

  std::string nonEmptyString(const toml::table& table, const std::string& prefix,
                             std::string_view key) const {
    std::string value = string(table, prefix, key);
    if (value.empty()) {
      fail(prefix + std::string(key), "is empty");
    }
    return value;
  }

  VersionNumbers version(const std::string& text, const std::string& field) const {
    std::optional<VersionNumbers> numbers = parseVersion(text);
    if (!numbers) {
      fail(field, "\"" + text + "\" is not four numbers 0..65535 separated by dots");
    }
    return *numbers;
  }

  // A path relative to the file's folder.
  fs::path path(const std::string& value) const {
    return file_.parent_path() / pathFromUtf8(value);
  }

 private:
  const fs::path& file_;
  const toml::table& root_;
};

// The file is read here rather than by toml++, which opens paths as narrow strings: on Windows
// those cannot name every file.
toml::table parseFile(const fs::path& file) {
  const std::vector<unsigned char> bytes = readWholeFile(file);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  try {
    return toml::parse(text, printablePath(file));
  } catch (const toml::parse_error& error) {
    const toml::source_position& at = error.source().begin;
    std::string where = printablePath(file);
    if (at.line > 0) {
      where += ":" + std::to_string(at.line) + ":" + std::to_string(at.column);
    }
    std::string message = where + ": " + std::string(error.description());
    // A Windows path in double quotes: "\P" or "\U..." in "C:\Program Files" or "C:\Users".
    const std::string_view description = error.description();
    if (description.find("escape sequence") != std::string_view::npos ||
        description.find("unicode scalar") != std::string_view::npos) {
      message += std::string("\n  hint: ") + kSingleQuoteHint;
    }
    throw PackError(message);
  }
}

void readTargetSpec(const ConfigReader& reader, const toml::table& root, LauncherConfig& config) {
  config.targetSpec = reader.string(root, "", "target_spec");
  const std::string problem = targetSpecProblem(*utf8ToUtf16(config.targetSpec));
  if (!problem.empty()) {
    reader.fail("target_spec", problem);
  }
}

void readVersion(const ConfigReader& reader, LauncherConfig& config) {
  const toml::table& version = reader.table("version");
  reader.checkKeys(
      version, "version.",
      {"company", "product", "version", "file_version", "product_version", "copyright"});
  VersionStrings& strings = config.strings;
  strings.company = reader.nonEmptyString(version, "version.", "company");
  strings.product = reader.nonEmptyString(version, "version.", "product");
  strings.version = reader.string(version, "version.", "version");
  strings.fileVersion = reader.string(version, "version.", "file_version");
  strings.productVersion = reader.string(version, "version.", "product_version");
  strings.copyright = reader.string(version, "version.", "copyright");
  reader.version(strings.version, "version.version");
  config.fileVersion = reader.version(strings.fileVersion, "version.file_version");
  config.productVersion = reader.version(strings.productVersion, "version.product_version");
}

// application.arguments: an array of strings, each one argument of the program.
void readArguments(const ConfigReader& reader, const toml::table& application,
                   LauncherConfig& config) {
  const toml::node* node = application.get("arguments");
  if (!node) {
    return;
  }
  if (!node->is_array()) {
    reader.fail("application.arguments", "must be an array of strings");
  }
  const toml::array& array = *node->as_array();
  for (size_t i = 0; i < array.size(); ++i) {
    const std::string field = "application.arguments[" + std::to_string(i) + "]";
    if (!array[i].is_string()) {
      reader.fail(field, "must be a string");
    }
    const std::string& value = array[i].as_string()->get();
    std::optional<std::u16string> units = utf8ToUtf16(value);
    if (!units) {
      reader.fail(field, "is not valid UTF-8");
    }
    if (value.find('\0') != std::string::npos) {
      reader.fail(field, "holds a NUL character");
    }
    const std::string problem = fixedArgumentProblem(*units);
    if (!problem.empty()) {
      reader.fail(field, problem);
    }
    config.arguments.push_back(*units);
  }
  const std::string problem = fixedArgumentsLengthProblem(config.arguments);
  if (!problem.empty()) {
    reader.fail("application.arguments", problem);
  }
}

void readApplication(const ConfigReader& reader, LauncherConfig& config) {
  const toml::table& application = reader.table("application");
  reader.checkKeys(application, "application.",
                   {"folder", "main", "icon", "launcher", "arguments"});
  if (auto folder = reader.optionalString(application, "application.folder", "folder")) {
    config.appFolder = reader.path(*folder);
  }
  config.main = reader.nonEmptyString(application, "application.", "main");
  if (auto icon = reader.optionalString(application, "application.icon", "icon")) {
    if (icon->empty()) {
      reader.fail("application.icon", "is empty");
    }
    config.icon = reader.path(*icon);
  }
  if (auto kind = reader.optionalString(application, "application.launcher", "launcher")) {
    if (*kind == "console") {
      config.kind = LauncherKind::kConsole;
    } else if (*kind == "windowed") {
      config.kind = LauncherKind::kWindowed;
    } else {
      reader.fail("application.launcher",
                  "\"" + *kind + "\" is neither \"console\" nor \"windowed\"");
    }
  }
  readArguments(reader, application, config);
}

}  // namespace

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

LauncherConfig readLauncherConfig(const fs::path& file) {
  const toml::table root = parseFile(file);
  const ConfigReader reader(file, root);
  reader.checkKeys(root, "", {"target_spec", "version", "application"});
  LauncherConfig config;
  readTargetSpec(reader, root, config);
  readVersion(reader, config);
  readApplication(reader, config);
  return config;
}
