#include "packer/init_command.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "packer/app/app_folder.h"
#include "packer/app/windows_names.h"
#include "packer/config/placeholder.h"
#include "packer/config/version_strings.h"
#include "packer/messages/pack_error.h"
#include "packer/messages/text_encoding.h"
#include "packer/pe/program_icon.h"
#include "packer/pe/version_resource.h"
#include "packer/pe/windows_program.h"
#include "packer/system/file_system.h"
#include "packer/system/output_file.h"

namespace fs = std::filesystem;

namespace {

// Comments after a key start here, so that they line up.
constexpr size_t kCommentColumn = 34;
constexpr char16_t kLastControlCharacter = 0x1F;
constexpr std::u16string_view kNotInNames = u"<>:\"/\\|?*{}";

// The placeholder of each key, where the main program gives no value; the description, the
// last key, has the product's then.
constexpr const char* kPlaceholders[kDescriptionKey] = {
    "<company>",
    "<product>",
    "<version, such as 1.0.0.0>",
    "<file version, such as 1.0.0.0>",
    "<product version, such as 1.0.0.0>",
    "<copyright line, or empty>",
};
static_assert(kDescriptionKey + 1 == kVersionKeys, "every key but the description has one");

// What init found of the main program.
struct MainFound {
  std::string name;  // as the configuration names it, relative to the folder
  fs::path folder;
  fs::path path;
  MainProgram program;
  ProgramVersion version;
};

// The configuration's text, with the placeholders it holds.
struct ConfigText {
  std::string text;
  std::vector<std::string> placeholders;

  void addPlaceholder(const std::string& placeholder) {
    if (std::find(placeholders.begin(), placeholders.end(), placeholder) == placeholders.end()) {
      placeholders.push_back(placeholder);
    }
  }
};

bool isProgramName(const fs::path& name) {
  std::string text = printablePath(name);
  if (text.size() < 4) {
    return false;
  }
  std::transform(text.end() - 4, text.end(), text.end() - 4, [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return text.compare(text.size() - 4, 4, ".exe") == 0;
}

// The programs at the top of `folder`, by name.
std::vector<std::string> topPrograms(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator entries(folder, error); !error && entries != fs::directory_iterator();
       entries.increment(error)) {
    std::error_code typeError;
    if (isProgramName(entries->path().filename()) && entries->is_regular_file(typeError)) {
      names.push_back(printablePath(entries->path().filename()));
    }
  }
  if (error) {
    throw pathError(folder, "cannot be listed: " + error.message());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string quotedList(const std::vector<std::string>& names) {
  std::string list;
  for (size_t i = 0; i < names.size(); ++i) {
    list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + ("\"" + names[i] + "\"");
  }
  return list;
}

// The main program: the one given, else the only program at the folder's top. It must lie in
// the folder, which is what the launcher carries.
std::string chooseMain(const InitRequest& request) {
  if (!request.main.empty()) {
    const std::string outside = mainOutsideProblem(request.folder, request.main);
    if (!outside.empty()) {
      throw PackError("--main \"" + request.main + "\" " + outside +
                      ": the launcher carries the folder's own files; name its program by its "
                      "path in the folder");
    }
    const fs::path path = request.folder / relativePath(request.main);
    std::error_code error;
    if (fs::is_regular_file(path, error)) {
      return request.main;
    }
    const std::string likely = likelyName(path);
    throw PackError("--main \"" + request.main + "\" is not a file in " +
                    printablePath(request.folder) +
                    (likely.empty() ? "" : " (did you mean \"" + likely + "\"?)"));
  }
  const std::vector<std::string> programs = topPrograms(request.folder);
  if (programs.empty()) {
    throw PackError(printablePath(request.folder) +
                    " holds no program (.exe) at its top: name the main program with --main "
                    "<its path in the folder>");
  }
  if (programs.size() > 1) {
    throw PackError(printablePath(request.folder) + " holds " + std::to_string(programs.size()) +
                    " programs at its top. Which one does the launcher start: " +
                    quotedList(programs) + "? Name it with --main");
  }
  const std::string outside = mainOutsideProblem(request.folder, programs.front());
  if (!outside.empty()) {
    throw pathError(request.folder / relativePath(programs.front()),
                    outside +
                        ": the launcher carries the folder's own files; name its program "
                        "with --main <its path in the folder>");
  }
  return programs.front();
}

std::vector<unsigned char> readRange(std::FILE* file, const fs::path& path, uint64_t offset,
                                     uint64_t size) {
  std::vector<unsigned char> bytes(static_cast<size_t>(size));
  if (offset > static_cast<uint64_t>(LONG_MAX) ||
      std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0 ||
      std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    throw pathError(path, std::string("cannot be read: ") + std::strerror(errno));
  }
  return bytes;
}

MainFound examineMain(const InitRequest& request, const std::string& name) {
  MainFound main{name, request.folder, request.folder / relativePath(name), {}, {}};
  const FileStream file(openFile(main.path, "rb"), std::fclose);
  std::error_code error;
  const uint64_t size = fs::file_size(main.path, error);
  if (!file || error) {
    throw pathError(main.path, std::string("cannot be read: ") +
                                   (error ? error.message() : std::strerror(errno)));
  }
  const std::vector<unsigned char> head =
      readRange(file.get(), main.path, 0, std::min<uint64_t>(size, kProgramHeadBytes));
  main.program = inspectMainProgram(head.data(), head.size(), size);
  if (!main.program.problem.empty()) {
    throw pathError(main.path, main.program.problem +
                                   (request.main.empty()
                                        ? "; it is the only program at the top of " +
                                              printablePath(request.folder) +
                                              ": pack a 64-bit x64 build of the application, or "
                                              "name its program below the top with --main"
                                        : ""));
  }
  main.version = programVersion(head, size, [&](uint64_t offset, uint64_t bytes) {
    return readRange(file.get(), main.path, offset, bytes);
  });
  return main;
}

// `text` as a TOML string: single-quoted, which keeps backslashes as they are, unless it holds
// what such a string cannot.
std::string tomlString(std::string_view text) {
  const bool literal = std::none_of(text.begin(), text.end(), [](char c) {
    return c == '\'' || static_cast<unsigned char>(c) <= kLastControlCharacter || c == '\x7f';
  });
  if (literal) {
    return "'" + std::string(text) + "'";
  }
  std::string basic = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      basic += '\\';
      basic += c;
    } else if (static_cast<unsigned char>(c) <= kLastControlCharacter || c == '\x7f') {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned char>(c));
      basic += escape;
    } else {
      basic += c;
    }
  }
  return basic + "\"";
}

// "key = value", commented out or not, with `comment` after it.
std::string keyLine(bool commented, const std::string& key, const std::string& value,
                    const std::string& comment) {
  std::string line = (commented ? "# " : "") + key + " = " + value;
  if (!comment.empty()) {
    // Columns count characters: UTF-8 bytes that are no continuation of one.
    const size_t width = static_cast<size_t>(std::count_if(line.begin(), line.end(), [](char c) {
      return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
    line.append(width < kCommentColumn ? kCommentColumn - width : 1, ' ');
    line += "# " + comment;
  }
  return line + "\n";
}

// A folder name for the target spec from a company or product name: without the characters a
// Windows name cannot hold (and braces, which would open a token), without the dots and blanks
// it cannot end in; `placeholder` when nothing usable is left.
std::string folderName(const std::string& value, const char* placeholder) {
  if (isPlaceholder(value)) {
    return placeholder;
  }
  std::u16string name;
  for (char16_t unit : utf8ToUtf16(value).value_or(u"")) {
    if (unit > kLastControlCharacter && kNotInNames.find(unit) == std::u16string_view::npos) {
      name += unit;
    }
  }
  while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) {
    name.pop_back();
  }
  name.erase(0, name.find_first_not_of(u' '));
  return name.empty() || !windowsComponentProblem(name).empty() ? placeholder : utf16ToUtf8(name);
}

// The [version] table: every value the main program's version resource gives is left to it, so
// that a new version of the program brings its own.
void addVersion(const MainFound& main, std::array<std::string, kVersionKeys>& values,
                ConfigText& config) {
  const ProgramVersion& version = main.version;
  const bool readable = version.present && version.problem.empty();
  config.text +=
      "\n# The launcher's version block, whose company, product and version are also the\n"
      "# values of the target spec's tokens of those names.\n";
  if (readable) {
    config.text += "# A key left out comes from the version resource of \"" + main.name +
                   "\" at every\n# pack: these are its values now.\n";
  } else if (version.present) {
    config.text += "# The version resource of \"" + main.name + "\" cannot be read (" +
                   version.problem + "):\n# fill in the placeholders.\n";
  } else {
    config.text += "# \"" + main.name + "\" has no version resource: fill in the placeholders.\n";
  }
  config.text += "[version]\n";
  for (size_t i = 0; i < kVersionKeys; ++i) {
    const VersionKey key = static_cast<VersionKey>(i);
    const std::string name = kVersionKeyInfo[key].key;
    const std::string resourceName = utf16ToUtf8(kVersionKeyInfo[key].resourceName);
    const ProgramValue found = valueFromProgram(key, version, main.name);
    if (found.found) {
      values[key] = found.value;
      config.text += found.why.empty() ? keyLine(true, name, tomlString(values[key]), resourceName)
                                       : "# " + found.why +
                                             ": the packer takes the numbers of its fixed part.\n" +
                                             keyLine(true, name, tomlString(values[key]), "");
    } else if (key == kDescriptionKey) {
      config.text +=
          keyLine(true, name, tomlString(values[kProductKey]), "without it, the product");
    } else {
      values[key] = kPlaceholders[key];
      config.addPlaceholder(values[key]);
      config.text += (readable ? "# " + found.why + ".\n" : "") +
                     keyLine(false, name, tomlString(values[key]), "");
    }
  }
}

// The path of `folder` as the configuration `out` names it: relative to its folder where it
// can be, with "/" on every system.
std::string folderValue(const fs::path& folder, const fs::path& out) {
  std::error_code error;
  const fs::path absolute = fs::absolute(folder, error);
  const fs::path relative = fs::relative(absolute, fs::absolute(out, error).parent_path(), error);
  return (relative.empty() ? absolute : relative).generic_u8string();
}

// Programs that run an application rather than being one, whose version resource names the
// runtime: a target named after it would be the runtime's, shared by every application on it.
constexpr const char* kRuntimes[] = {"bun",    "deno",    "dotnet", "java", "javaw",
                                     "lua",    "node",    "perl",   "php",  "pwsh",
                                     "python", "pythonw", "ruby",   "rubyw"};

// For a main program that is a runtime: a comment saying to name the application.
std::string runtimeComment(const MainFound& main, const std::string& product) {
  std::string stem = printablePath(relativePath(main.name).stem());
  std::transform(stem.begin(), stem.end(), stem.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  if (std::find_if(std::begin(kRuntimes), std::end(kRuntimes),
                   [&](const char* runtime) { return stem == runtime; }) == std::end(kRuntimes)) {
    return "";
  }
  return "# \"" + main.name + "\" is a runtime: its version resource names the runtime (" +
         product +
         "),\n# not your application. Write your application's company and product below and\n"
         "# into [version], with its version, and its script into arguments\n"
         "# (['{TARGET_DIR}\\app.js']).\n";
}

ConfigText configText(const MainFound& main, const fs::path& out) {
  std::array<std::string, kVersionKeys> values;
  ConfigText version;
  addVersion(main, values, version);
  ConfigText config;
  const std::string company = folderName(values[kCompanyKey], kPlaceholders[kCompanyKey]);
  const std::string product = folderName(values[kProductKey], kPlaceholders[kProductKey]);
  for (const std::string& name : {company, product}) {
    if (isPlaceholder(name)) {
      config.addPlaceholder(name);
    }
  }
  for (const std::string& placeholder : version.placeholders) {
    config.addPlaceholder(placeholder);
  }
  const std::string folder = tomlString(folderValue(main.folder, out));
  const std::string kind = main.program.windowed ? "windowed" : "console";
  config.text =
      "# A launcher for the application folder " + folder +
      ", written by tarnic-pack init.\n"
      "# Relative paths are relative to this file's folder; the packaging guide describes every\n"
      "# key. A line starting with # is a comment: remove the # to use a key.\n\n"
      "# Where the launcher unpacks the application on the user's machine: a folder of the\n"
      "# product's own below the user's local application data, one for each version.\n" +
      runtimeComment(main, values[kProductKey]) +
      keyLine(false, "target_spec",
              tomlString("{CACHE_DIR}\\" + company + "\\" + product + "\\{VERSION}"), "") +
      version.text + "\n[application]\n" + keyLine(false, "folder", folder, "") +
      keyLine(false, "main", tomlString(main.name), "") +
      (main.program.windowed ? keyLine(false, "progress_window", "true",
                                       "a window of progress while a long first start unpacks")
                             : "") +
      keyLine(true, "icon", "'app.ico'", "an .ico file; else the main program's icon") +
      keyLine(true, "launcher", "'" + kind + "'",
              "'console' or 'windowed'; else as the main program: " + kind) +
      keyLine(true, "exclude", "['*.pdb']", "files and folders to leave out") +
      keyLine(true, "arguments", "['--portable']", "fixed arguments, before the user's") +
      keyLine(true, "shared_target", "true",
              "a target outside the user's own folders: see the guide") +
      keyLine(false, "keep_versions", "2",
              "versions kept side by side; older ones go once unused") +
      keyLine(true, "remove_after_exit", "true",
              "remove the unpacked files when the program ends (a target per start)");
  return config;
}

// Whether `path` lies in `folder` or below it, links resolved.
bool liesIn(const fs::path& path, const fs::path& folder) {
  std::error_code error;
  const fs::path canonicalFolder = fs::weakly_canonical(folder, error);
  const fs::path canonical = fs::weakly_canonical(fs::absolute(path, error), error);
  return !error && std::mismatch(canonicalFolder.begin(), canonicalFolder.end(), canonical.begin(),
                                 canonical.end())
                           .first == canonicalFolder.end();
}

// `name` in the folder that holds `folder`, as a path from the current folder.
fs::path besideFolder(const fs::path& folder, const fs::path& name) {
  std::error_code error;
  const fs::path beside = fs::weakly_canonical(folder, error).parent_path() / name;
  const fs::path relative = fs::relative(beside, fs::current_path(error), error);
  return relative.empty() ? beside : relative;
}

// Where init writes: `--out`, which must lie outside the folder (the packer never packs its own
// configuration, but a region of the folder would), or else kDefaultInitConfig in the current
// folder, or beside the application folder when the current folder is in it.
fs::path configPath(const InitRequest& request) {
  const fs::path defaultName = pathFromUtf8(kDefaultInitConfig);
  if (request.out.empty()) {
    return liesIn(defaultName, request.folder) ? besideFolder(request.folder, defaultName)
                                               : defaultName;
  }
  if (liesIn(request.out, request.folder)) {
    throw PackError("--out " + printablePath(request.out) + " lies in the application folder " +
                    printablePath(request.folder) +
                    ", whose every file the launcher carries: name a file outside it, such as " +
                    printablePath(besideFolder(request.folder, defaultName)));
  }
  return request.out;
}

// Writes `text` as `out`, a new file.
void writeNewFile(const fs::path& out, const std::string& text) {
  const std::string problem = outputProblem("--out", out, kDefaultInitConfig);
  if (!problem.empty()) {
    throw PackError(problem);
  }
  std::error_code error;
  if (fs::exists(fs::symlink_status(out, error))) {
    throw PackError("--out " + printablePath(out) +
                    " already exists: init writes a new configuration only; remove it, or "
                    "name another file with --out");
  }
  makeFolderFor(out);
  OutputFile file(fs::absolute(out));
  if (std::fwrite(text.data(), 1, text.size(), file.stream()) != text.size()) {
    throw pathError(out, std::string("cannot be written: ") + std::strerror(errno));
  }
  file.commit();
}

}  // namespace

std::string writeInitialConfig(const InitRequest& request) {
  std::error_code error;
  if (!fs::is_directory(request.folder, error)) {
    throw PackError(printablePath(request.folder) + " is not a folder" +
                    likelyPathHint(request.folder));
  }
  const fs::path out = configPath(request);
  const MainFound main = examineMain(request, chooseMain(request));
  const ConfigText config = configText(main, out);
  writeNewFile(out, config.text);
  // The launcher goes where the command runs, unless that is in the application folder.
  const fs::path launcher = pathFromUtf8(printablePath(relativePath(main.name).stem()) + ".exe");
  const std::string pack =
      "tarnic-pack launcher --config " + printablePath(out) + " --out " +
      printablePath(liesIn(launcher, request.folder) ? besideFolder(request.folder, launcher)
                                                     : launcher);
  const std::string written =
      printablePath(out) + ": written" +
      (request.out.empty() && out != pathFromUtf8(kDefaultInitConfig)
           ? " beside the application folder (a launcher carries every file in it)"
           : "");
  if (config.placeholders.empty()) {
    return "tarnic-pack: " + written + "; pack with " + pack;
  }
  std::string names;
  for (const std::string& placeholder : config.placeholders) {
    names += (names.empty() ? "" : ", ") + placeholder;
  }
  return "tarnic-pack: " + written + " with placeholders to fill in (" + names +
         "), then pack with " + pack;
}
