#include "packer/config/launcher_config.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "packer/app/app_folder.h"
#include "packer/config/fixed_argument_checks.h"
#include "packer/config/target_spec.h"
#include "packer/messages/nearest_name.h"
#include "packer/messages/pack_error.h"
#include "packer/messages/text_encoding.h"
#include "packer/system/file_system.h"
#include "packer/system/whole_file.h"
#include "rules/image_descriptor.h"

namespace fs = std::filesystem;

namespace {

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
    // [version]
    {"version", "company"},
    {"version", "product"},
    {"version", "version"},
    {"version", "file_version"},
    {"version", "product_version"},
    {"version", "copyright"},
    {"version", "description"},
    // [application]
    {"application", "folder"},
    {"application", "main"},
    {"application", "icon"},
    {"application", "launcher"},
    {"application", "exclude"},
    {"application", "shared_target"},
    {"application", "remove_after_exit"},
    {"application", "keep_versions"},
    {"application", "progress_window"},
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

// The known key that `key` of `table` was likely meant to be, as the user would write it: the
// nearestName among the keys of the same table, else the same key in another table. "" when
// there is none.
std::string likelyKey(std::string_view table, std::string_view key) {
  std::vector<std::string> keys;
  for (const ConfigKey& known : kKnownKeys) {
    if (known.table == table) {
      keys.emplace_back(known.key);
    }
  }
  const std::string nearest = nearestName(key, keys);
  if (!nearest.empty()) {
    return nearest;
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

  // The table `name`, or null when it is missing (a problem unless `optional`) or not a table.
  const toml::table* table(const std::string& name, bool optional = false) const {
    const toml::node* node = root_.get(name);
    if (!node) {
      if (!optional) {
        note(name, "is missing: the [" + name + "] table");
      }
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

  // The integer at `key`, nullopt when it is absent or not an integer from `least` to `most`.
  std::optional<int64_t> integer(const toml::table& table, std::string_view prefix,
                                 std::string_view key, int64_t least, int64_t most) const {
    const toml::node* node = table.get(key);
    if (!node) {
      return std::nullopt;
    }
    if (!node->is_integer() || node->as_integer()->get() < least ||
        node->as_integer()->get() > most) {
      note(dotted(prefix, key),
           "must be a whole number from " + std::to_string(least) + " to " + std::to_string(most));
      return std::nullopt;
    }
    return node->as_integer()->get();
  }

  // A path relative to the file's folder, in normal form.
  fs::path path(const std::string& value) const {
    return (file_.parent_path() / pathFromUtf8(value)).lexically_normal();
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
  if (!spec) {
    return;
  }
  config.targetSpec = *spec;
  for (const std::string& problem : targetSpecProblems(*utf8ToUtf16(*spec))) {
    reader.note("target_spec", problem);
  }
}

// The keys [version] gives, each checked; what it leaves out comes from the main program.
void readVersion(const ConfigReader& reader, LauncherConfig& config) {
  const toml::table* version = reader.table("version", /* optional */ true);
  for (size_t i = 0; version && i < kVersionKeys; ++i) {
    const VersionKey key = static_cast<VersionKey>(i);
    GivenValue& given = config.version[key];
    given.present = version->get(kVersionKeyInfo[key].key) != nullptr;
    std::optional<std::string> value =
        reader.optionalString(*version, "version", kVersionKeyInfo[key].key);
    const std::string problem = value ? versionValueProblem(key, *value) : "";
    if (!problem.empty()) {
      const std::string shown = value->empty() ? "" : "\"" + *value + "\" ";
      reader.note(dotted("version", kVersionKeyInfo[key].key), shown + problem);
    } else {
      given.value = std::move(value);
    }
  }
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
    config.appFolderText = *folder;
  }
  config.main = reader.nonEmptyString(*application, "application", "main").value_or("");
  if (auto icon = reader.optionalString(*application, "application", "icon")) {
    if (icon->empty()) {
      reader.note("application.icon", "is empty");
    } else {
      config.icon = reader.path(*icon);
      config.iconText = *icon;
    }
  }
  if (auto kind = reader.optionalString(*application, "application", "launcher")) {
    config.kind = launcherKind(reader, *kind);
  }
  readExclude(reader, *application, config);
  config.sharedTarget = reader.boolean(*application, "application", "shared_target");
  config.removeAfterExit = reader.boolean(*application, "application", "remove_after_exit");
  if (auto versions =
          reader.integer(*application, "application", "keep_versions", 1, kMostKeptVersions)) {
    if (config.sharedTarget) {
      reader.note("application.keep_versions",
                  "cannot go with shared_target = true: folders beside a target that others may "
                  "write below are not the launcher's to remove");
    } else {
      config.keepVersions = static_cast<unsigned>(*versions);
    }
  }
  config.progressWindow = reader.boolean(*application, "application", "progress_window");
  readArguments(reader, *application, config);
}

}  // namespace

std::string fieldProblem(const fs::path& file, const std::string& field, const std::string& why) {
  return printablePath(file) + ": " + field + " " + why;
}

std::string configPathHint(const fs::path& file, const std::string& written,
                           const fs::path& resolved) {
  const std::string likely = likelyName(resolved);
  if (!likely.empty()) {
    const size_t slash = written.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "" : written.substr(0, slash + 1);
    return " (did you mean \"" + folder + likely + "\"?)";
  }
  const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  const std::string from =
      " (paths in the configuration are taken from its folder, " + printablePath(folder);
  const fs::path typed = pathFromUtf8(written);
  std::error_code error;
  if (typed.is_relative() && fs::exists(typed, error)) {
    const fs::path relative = fs::relative(typed, folder, error);
    if (!relative.empty()) {
      return from + ": did you mean \"" + relative.generic_u8string() + "\"?)";
    }
  }
  return from + ")";
}

LauncherConfig readLauncherConfig(const fs::path& file, Problems& problems) {
  const toml::table root = parseFile(file);
  const ConfigReader reader(file, root, problems);
  reader.checkKeys(root, "");
  LauncherConfig config;
  readTargetSpec(reader, root, config);
  readVersion(reader, config);
  readApplication(reader, config);
  return config;
}
