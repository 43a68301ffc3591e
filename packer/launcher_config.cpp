#include "packer/launcher_config.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "packer/file_system.h"
#include "packer/fixed_argument_checks.h"
#include "packer/pack_error.h"
#include "packer/region_reader.h"
#include "packer/target_spec.h"
#include "packer/text_encoding.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kVersionParts = 4;
constexpr unsigned kMaxVersionPart = 65535;

struct ConfigKey {
  std::string_view table;  // "" for the top level
  std::string_view key;
};

// Every key a configuration may hold, tables included: a new key is a line here and the lines
// that read it.
constexpr ConfigKey kKnownKeys[] = {
    {"", "target_spec"},
    {"", "version"},
    {"", "application"},
    {"version", "company"},
    {"version", "product"},
    {"version", "version"},
    {"version", "file_version"},
    {"version", "product_version"},
    {"version", "copyright"},
    {"application", "folder"},
    {"application", "main"},
    {"application", "icon"},
    {"application", "launcher"},
    {"application", "exclude"},
    {"application", "shared_target"},
    {"application", "remove_after_exit"},
    {"application", "arguments"},
};

std::string dotted(std::string_view table, std::string_view key) {
  return table.empty() ? std::string(key) : std::string(table) + "." + std::string(key);
}

std::string arrayItem(std::string_view table, std::string_view key, size_t index) {
  return dotted(table, key) + "[" + std::to_string(index) + "]";
}

// A string of an array and its place there.
struct ArrayString {
  size_t index;
  std::string value;
};

// The edits (insertions, deletions, substitutions and swaps of neighbours) that turn `a` into
// `b`: a swap counts once, as typing makes them.
size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) {
    for (size_t j = 0; j <= b.size(); ++j) {
      if (i == 0 || j == 0) {
        d[i][j] = i + j;
        continue;
      }
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

// The known key that `key` of `table` was likely meant to be, as the user would write it: the
// nearest key of the same table within a third of its length in edits, else the same key in
// another table. "" when there is none.
std::string likelyKey(std::string_view table, std::string_view key) {
  std::string_view nearest;
  size_t best = SIZE_MAX;
  for (const ConfigKey& known : kKnownKeys) {
    const size_t distance = editDistance(key, known.key);
    if (known.table == table && distance < best && 3 * distance <= known.key.size()) {
      nearest = known.key, best = distance;
    }
  }
  if (!nearest.empty()) {
    return std::string(nearest);
  }
  for (const ConfigKey& known : kKnownKeys) {
    if (known.key == key && known.table != table) {
      return dotted(known.table, known.key);
    }
  }
  return "";
}

// One configuration file being read: every problem names it and the field, and reading goes on
// after one, so that a run names them all.
class ConfigReader {
 public:
  ConfigReader(const fs::path& file, const toml::table& root, Problems& problems)
      : file_(file), root_(root), problems_(problems) {}

  void note(const std::string& field, const std::string& why) const {
    problems_.add(fieldProblem(file_, field, why));
  }

  // Notes the keys of `table` (named `name`) that are not known, a typo first of all.
  void checkKeys(const toml::table& table, std::string_view name) const {
    for (const auto& [key, node] : table) {
      const auto known = [&](const ConfigKey& entry) {
        return entry.table == name && entry.key == key.str();
      };
      if (std::none_of(std::begin(kKnownKeys), std::end(kKnownKeys), known)) {
        const std::string likely = likelyKey(name, key.str());
        note(dotted(name, key.str()),
             "is not a known key" + (likely.empty() ? "" : " (did you mean `" + likely + "`?)"));
      }
    }
  }

  // The table `name`, or null when it is missing or not a table.
  const toml::table* table(const std::string& name) const {
    const toml::node* node = root_.get(name);
    if (!node) {
      note(name, "is missing: the [" + name + "] table");
    } else if (!node->is_table()) {
      note(name, "must be a table");
    } else {
      checkKeys(*node->as_table(), name);
      return node->as_table();
    }
    return nullptr;
  }

  // The string at `key` of `table`, or nullopt when it is absent or has a problem.
  std::optional<std::string> optionalString(const toml::table& table, std::string_view prefix,
                                            std::string_view key) const {
    const toml::node* node = table.get(key);
    return node ? stringValue(*node, dotted(prefix, key)) : std::nullopt;
  }

  std::optional<std::string> string(const toml::table& table, std::string_view prefix,
                                    std::string_view key) const {
    const toml::node* node = table.get(key);
    if (!node) {
      note(dotted(prefix, key), "is missing");
      return std::nullopt;
    }
    return stringValue(*node, dotted(prefix, key));
  }

  std::optional<std::string> nonEmptyString(const toml::table& table, std::string_view prefix,
                                            std::string_view key) const {
    std::optional<std::string> value = string(table, prefix, key);
    if (value && value->empty()) {
      note(dotted(prefix, key), "is empty");
      return std::nullopt;
    }
    return value;
  }

  // The strings of the array at `key` that have no problem, each with its place in the array;
  // none when it is absent.
  std::vector<ArrayString> stringArray(const toml::table& table, std::string_view prefix,
                                       std::string_view key) const {
    const toml::node* node = table.get(key);
    std::vector<ArrayString> values;
    if (node && !node->is_array()) {
      note(dotted(prefix, key), "must be an array of strings");
    } else if (node) {
      const toml::array& array = *node->as_array();
      for (size_t i = 0; i < array.size(); ++i) {
        if (std::optional<std::string> value =
                stringValue(*array.get(i), arrayItem(prefix, key, i))) {
          values.push_back({i, std::move(*value)});
        }
      }
    }
    return values;
  }

  // The boolean at `key`, false when it is absent or not a boolean.
  bool boolean(const toml::table& table, std::string_view prefix, std::string_view key) const {
    const toml::node* node = table.get(key);
    if (node && !node->is_boolean()) {
      note(dotted(prefix, key), "must be true or false");
    }
    return node && node->is_boolean() && node->as_boolean()->get();
  }

  std::optional<VersionNumbers> version(const std::optional<std::string>& text,
                                        const std::string& field) const {
    if (!text) {
      return std::nullopt;
    }
    std::optional<VersionNumbers> numbers = parseVersion(*text);
    if (!numbers) {
      note(field, "\"" + *text + "\" is not four numbers 0..65535 separated by dots");
    }
    return numbers;
  }

  // A path relative to the file's folder.
  fs::path path(const std::string& value) const {
    return file_.parent_path() / pathFromUtf8(value);
  }

 private:
  std::optional<std::string> stringValue(const toml::node& node, const std::string& field) const {
    if (!node.is_string()) {
      note(field, "must be a string");
      return std::nullopt;
    }
    std::string value = node.as_string()->get();
    std::optional<std::u16string> units = utf8ToUtf16(value);
    if (value.find('\0') != std::string::npos) {
      note(field, "holds a NUL character");
    } else if (!units) {
      note(field, "is not valid UTF-8");
    } else if (units->size() > kMaxStringUnits) {
      note(field, "is longer than " + std::to_string(kMaxStringUnits) + " UTF-16 units");
    } else {
      return value;
    }
    return std::nullopt;
  }

  const fs::path& file_;
  const toml::table& root_;
  Problems& problems_;
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
  const std::optional<std::string> spec = reader.string(root, "", "target_spec");
  const std::string problem = spec ? targetSpecProblem(*utf8ToUtf16(*spec)) : "";
  if (!problem.empty()) {
    reader.note("target_spec", problem);
  } else if (spec) {
    config.targetSpec = *spec;
  }
}

// After [application], which may say that the target is meant to be shared.
void checkTargetIsUsers(const ConfigReader& reader, const LauncherConfig& config) {
  const std::string problem = config.targetSpec.empty() || config.sharedTarget
                                  ? ""
                                  : sharedTargetProblem(*utf8ToUtf16(config.targetSpec));
  if (!problem.empty()) {
    reader.note("target_spec", problem);
  }
}

// The text of the version field `key` in `text` and its numbers (zero when it has a problem).
VersionNumbers versionField(const ConfigReader& reader, const toml::table& version,
                            std::string_view key, std::string& text) {
  const std::optional<std::string> value = reader.string(version, "version", key);
  text = value.value_or("");
  return reader.version(value, dotted("version", key)).value_or(VersionNumbers{});
}

void readVersion(const ConfigReader& reader, LauncherConfig& config) {
  const toml::table* version = reader.table("version");
  if (!version) {
    return;
  }
  VersionStrings& strings = config.strings;
  strings.company = reader.nonEmptyString(*version, "version", "company").value_or("");
  strings.product = reader.nonEmptyString(*version, "version", "product").value_or("");
  versionField(reader, *version, "version", strings.version);
  config.fileVersion = versionField(reader, *version, "file_version", strings.fileVersion);
  config.productVersion = versionField(reader, *version, "product_version", strings.productVersion);
  strings.copyright = reader.string(*version, "version", "copyright").value_or("");
}

std::optional<LauncherKind> launcherKind(const ConfigReader& reader, const std::string& kind) {
  if (kind == "console") {
    return LauncherKind::kConsole;
  }
  if (kind == "windowed") {
    return LauncherKind::kWindowed;
  }
  reader.note("application.launcher", "\"" + kind + "\" is neither \"console\" nor \"windowed\"");
  return std::nullopt;
}

void readExclude(const ConfigReader& reader, const toml::table& application,
                 LauncherConfig& config) {
  for (const ArrayString& item : reader.stringArray(application, "application", "exclude")) {
    std::string why;
    if (std::optional<ExcludePattern> pattern = parseExcludePattern(item.value, why)) {
      config.exclude.push_back(std::move(*pattern));
    } else {
      reader.note(arrayItem("application", "exclude", item.index), "\"" + item.value + "\" " + why);
    }
  }
}

// application.arguments: each string one argument of the program, before the user's.
void readArguments(const ConfigReader& reader, const toml::table& application,
                   LauncherConfig& config) {
  for (const ArrayString& item : reader.stringArray(application, "application", "arguments")) {
    std::u16string units = *utf8ToUtf16(item.value);
    const std::string problem = fixedArgumentProblem(units);
    if (problem.empty()) {
      config.arguments.push_back(std::move(units));
    } else {
      reader.note(arrayItem("application", "arguments", item.index), problem);
    }
  }
  const std::string problem = fixedArgumentsLengthProblem(config.arguments);
  if (!problem.empty()) {
    reader.note("application.arguments", problem);
  }
}

void readApplication(const ConfigReader& reader, LauncherConfig& config) {
  const toml::table* application = reader.table("application");
  if (!application) {
    return;
  }
  if (auto folder = reader.optionalString(*application, "application", "folder")) {
    config.appFolder = reader.path(*folder);
  }
  config.main = reader.nonEmptyString(*application, "application", "main").value_or("");
  if (auto icon = reader.optionalString(*application, "application", "icon")) {
    if (icon->empty()) {
      reader.note("application.icon", "is empty");
    } else {
      config.icon = reader.path(*icon);
    }
  }
  if (auto kind = reader.optionalString(*application, "application", "launcher")) {
    config.kind = launcherKind(reader, *kind);
  }
  readExclude(reader, *application, config);
  config.sharedTarget = reader.boolean(*application, "application", "shared_target");
  config.removeAfterExit = reader.boolean(*application, "application", "remove_after_exit");
  readArguments(reader, *application, config);
}

}  // namespace

std::string fieldProblem(const fs::path& file, const std::string& field, const std::string& why) {
  return printablePath(file) + ": " + field + " " + why;
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

LauncherConfig readLauncherConfig(const fs::path& file, Problems& problems) {
  const toml::table root = parseFile(file);
  const ConfigReader reader(file, root, problems);
  reader.checkKeys(root, "");
  LauncherConfig config;
  readTargetSpec(reader, root, config);
  readVersion(reader, config);
  readApplication(reader, config);
  checkTargetIsUsers(reader, config);
  return config;
}
