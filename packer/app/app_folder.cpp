#include "packer/app/app_folder.h"

#include <algorithm>
#include <optional>

#include "packer/app/windows_names.h"
#include "packer/messages/nearest_name.h"
#include "packer/messages/pack_error.h"
#include "packer/messages/text_encoding.h"
#include "packer/system/file_system.h"
#include "rules/payload_format.h"

namespace fs = std::filesystem;

namespace {

struct Walk {
  fs::path root;                      // canonical
  std::vector<fs::path> openFolders;  // canonical folders being walked, to find link loops
  const LeftOut& leftOut;
  AppFiles found;
  Problems& problems;  // every entry that cannot be packed
};

[[noreturn]] void refuse(const fs::path& path, const std::string& why) {
  throw pathError(path, why);
}

std::string kindOf(fs::file_type type) {
  switch (type) {
    case fs::file_type::fifo:
      return "a fifo";
    case fs::file_type::socket:
      return "a socket";
    case fs::file_type::block:
    case fs::file_type::character:
      return "a device";
    default:
      return "not a regular file or folder";
  }
}

// Whether the canonical `path` is the canonical `root` or lies below it.
bool liesBelow(const fs::path& root, const fs::path& path) {
  return std::mismatch(root.begin(), root.end(), path.begin(), path.end()).first == root.end();
}

// Refuses a link that leads outside the folder: the launcher would write its target's bytes
// under the link's name, and they are not the application's.
void checkInside(const Walk& walk, const fs::path& path, const fs::path& target) {
  if (!liesBelow(walk.root, target)) {
    refuse(path, "symbolic link leads outside the folder, to " + printablePath(target));
  }
}

void addFile(Walk& walk, const fs::path& path, const std::u16string& name,
             const EntryFacts& entry) {
  if (name.size() > kMaxNameUnits) {
    refuse(path, windowsNameProblem(name));
  }
  std::error_code error;
  const uint64_t size = fs::file_size(path, error);
  if (error) {
    refuse(path, "cannot be examined: " + error.message());
  }
  if (size > kMaxFileBytes) {
    refuse(path, "is " + std::to_string(size) + " bytes; the launcher takes files of at most " +
                     std::to_string(kMaxFileBytes));
  }
  openFoundFile(entry.canonical, entry.id, path);  // readable, and still what was examined
  walk.found.files.push_back({name, path, size, entry.canonical, entry.id});
}

void walkFolder(Walk& walk, const fs::path& folder, const fs::path& canonical,
                const std::u16string& name);

// Walks on into what `path`, an entry of the folder whose region name is `folderName`, is. A
// pattern matches a name as it is, so that a folder left out takes the problems of its names
// with it. The name rules come before any system call on the entry, which Windows would take
// for another one (a device, a name without its trailing dot) and answer with an error of its
// own.
void addEntry(Walk& walk, const fs::path& path, const fs::path& canonicalFolder,
              const std::u16string& folderName) {
  const std::optional<std::u16string> component = nameUnits(path.filename());
  const std::u16string name = !component           ? u""
                              : folderName.empty() ? *component
                                                   : folderName + u'\\' + *component;
  if (component && matchingPattern(walk.leftOut.patterns, name)) {
    return;
  }
  const std::string problem =
      component ? windowsComponentProblem(*component) : kNameEncodingProblem;
  const auto leftOut = [&](const std::u16string& below) {
    return matchingPattern(walk.leftOut.patterns, below);
  };
  // Empty folders are not packed, whatever their names.
  if (!problem.empty() && holdsFiles(path, name, leftOut)) {
    refuse(path, problem);
  }
  if (!problem.empty()) {
    return;
  }
  const EntryFacts entry = examineEntry(path, canonicalFolder);
  const std::vector<fs::path>& outputs = walk.leftOut.outputs;
  if (std::find(outputs.begin(), outputs.end(), entry.canonical) != outputs.end()) {
    walk.found.leftOutOutputs.push_back(path);
    return;
  }
  const std::vector<fs::path>& reads = walk.leftOut.reads;
  if (std::find(reads.begin(), reads.end(), entry.canonical) != reads.end()) {
    walk.found.leftOutReads.push_back(path);
    return;
  }
  if (entry.link) {
    checkInside(walk, path, entry.canonical);
  }
  if (entry.type == fs::file_type::directory) {
    if (std::find(walk.openFolders.begin(), walk.openFolders.end(), entry.canonical) !=
        walk.openFolders.end()) {
      refuse(path, "symbolic link loop: leads back to " + printablePath(entry.canonical));
    }
    walkFolder(walk, path, entry.canonical, name);
  } else if (entry.type == fs::file_type::regular) {
    addFile(walk, path, name, entry);
  } else {
    refuse(path, "is " + kindOf(entry.type) + ", which cannot be packed");
  }
}

// Goes on with the other entries after a problem, so that one run reports them all.
void addEntryOrNote(Walk& walk, const fs::path& path, const fs::path& canonicalFolder,
                    const std::u16string& folderName) {
  try {
    addEntry(walk, path, canonicalFolder, folderName);
  } catch (const PackError& problem) {
    walk.problems.add(problem.what());
  }
}

void walkFolder(Walk& walk, const fs::path& folder, const fs::path& canonical,
                const std::u16string& name) {
  std::error_code error;
  fs::directory_iterator entries(folder, error);
  if (error) {
    refuse(folder, "cannot be listed: " + error.message());
  }
  walk.openFolders.push_back(canonical);
  walk.found.folders.push_back(folder);
  // Sorting here only makes messages predictable; the region order is set afterwards.
  std::vector<fs::path> paths;
  for (; entries != fs::directory_iterator(); entries.increment(error)) {
    paths.push_back(entries->path());
  }
  if (error) {
    walk.openFolders.pop_back();
    refuse(folder, "cannot be listed: " + error.message());
  }
  std::sort(paths.begin(), paths.end());
  for (const fs::path& path : paths) {
    addEntryOrNote(walk, path, canonical, name);
  }
  walk.openFolders.pop_back();
}

// The folder's canonical path, or an empty path when it has none.
fs::path canonicalFolder(const fs::path& folder, Problems& problems) {
  std::error_code error;
  std::string why;
  fs::path canonical;
  if (!fs::exists(folder, error)) {
    why = "application folder does not exist";
  } else if (!fs::is_directory(folder, error)) {
    why = "application folder is not a folder";
  } else if ((canonical = canonicalPath(folder, why)).empty()) {
    why = "application folder cannot be resolved: " + why;
  }
  if (!why.empty()) {
    problems.add(pathError(folder, why).what());
  }
  return canonical;
}

// Every pair of names that Windows would take for one file, each pair once.
void noteNameConflicts(const fs::path& folder, const std::vector<AppFile>& files,
                       Problems& problems) {
  std::vector<std::u16string> names;
  for (const AppFile& file : files) {
    names.push_back(file.name);
  }
  for (const auto& [first, second] : findNameConflicts(names)) {
    problems.add(printablePath(folder) + ": \"" + utf16ToUtf8(first) + "\" and \"" +
                 utf16ToUtf8(second) +
                 "\" differ only in letter case and would be one file on Windows");
  }
}

// The name of a file of `files` that is `name` when letter case is ignored, or "".
std::string otherCase(const std::vector<AppFile>& files, const std::u16string& name) {
  const auto sameUnit = [](char16_t a, char16_t b) { return foldCase(a) == foldCase(b); };
  for (const AppFile& file : files) {
    if (std::equal(file.name.begin(), file.name.end(), name.begin(), name.end(), sameUnit)) {
      return utf16ToUtf8(file.name);
    }
  }
  return "";
}

// Why the main program `mainName` (region name `name`) is not among the `files` of `folder`,
// with the name it likely stands for.
std::string missingMainProblem(const std::vector<AppFile>& files, const fs::path& folder,
                               std::string_view mainName, const std::u16string& name) {
  const std::string where = " in " + printablePath(folder);
  const fs::path path = folder / relativePath(mainName);
  const std::string outside = mainOutsideProblem(folder, mainName);
  if (!outside.empty()) {
    return outside + ": the launcher carries the folder's own files";
  }
  std::error_code error;
  if (fs::is_directory(path, error)) {
    return "is a folder" + where + ", not a file";
  }
  const std::string other = otherCase(files, name);
  if (!other.empty()) {
    return "is not a file" + where + "; \"" + other + "\" is, in other letter case";
  }
  const std::string likely = likelyName(path);
  if (likely.empty()) {
    return "is not a file" + where;
  }
  const size_t slash = mainName.find_last_of("/\\");
  const std::string typedFolder(
      mainName.substr(0, slash == std::string_view::npos ? 0 : slash + 1));
  return "is not a file" + where + " (did you mean \"" + typedFolder + likely + "\"?)";
}

}  // namespace

std::u16string mainEntryName(std::string_view mainName) {
  std::optional<std::u16string> name = utf8ToUtf16(mainName);
  if (!name) {
    throw PackError("main file name " + printableBytes(mainName) + " is not UTF-8");
  }
  std::replace(name->begin(), name->end(), u'/', u'\\');
  return *name;
}

fs::path relativePath(std::string_view name) {
  std::string relative(name);
  std::replace(relative.begin(), relative.end(), '\\', '/');
  return pathFromUtf8(relative);
}

AppFiles collectAppFiles(const fs::path& folder, const LeftOut& leftOut, Problems& problems) {
  Walk walk{canonicalFolder(folder, problems), {}, leftOut, {}, problems};
  if (walk.root.empty()) {
    return {};
  }
  try {
    walkFolder(walk, folder, walk.root, u"");
  } catch (const PackError& problem) {
    problems.add(problem.what());
  }
  std::vector<AppFile>& files = walk.found.files;
  std::sort(files.begin(), files.end(),
            [](const AppFile& a, const AppFile& b) { return a.name < b.name; });
  noteNameConflicts(folder, files, problems);
  return std::move(walk.found);
}

std::string putMainFirst(AppFiles& app, const fs::path& folder, std::string_view mainName,
                         const LeftOut& leftOut) {
  const std::u16string name = mainEntryName(mainName);
  const ExcludePattern* pattern = excludingPattern(leftOut.patterns, name);
  std::vector<AppFile>& files = app.files;
  auto found = std::find_if(files.begin(), files.end(),
                            [&](const AppFile& file) { return file.name == name; });
  if (!pattern && found != files.end()) {
    std::rotate(files.begin(), found, found + 1);
    return "";
  }
  const fs::path path = folder / relativePath(mainName);
  const std::string leftOutBy =
      pattern ? "is left out by the exclude pattern \"" + pattern->text + "\"" : "";
  std::error_code error;
  if (pattern && fs::is_regular_file(path, error)) {
    return leftOutBy;
  }
  const std::string missing = missingMainProblem(files, folder, mainName, name);
  return pattern ? missing + ", and " + leftOutBy : missing;
}

std::string mainOutsideProblem(const fs::path& folder, std::string_view mainName) {
  const fs::path relative = relativePath(mainName).lexically_normal();
  if (relative.has_root_name() || relative.has_root_directory() ||
      (!relative.empty() && *relative.begin() == "..")) {
    return "lies outside the application folder " + printablePath(folder);
  }
  std::string why;
  const fs::path root = canonicalPath(folder, why);
  const fs::path target = root.empty() ? fs::path() : canonicalPath(folder / relative, why);
  if (target.empty() || liesBelow(root, target)) {
    return "";
  }
  return "leads outside the application folder " + printablePath(folder) + ", to " +
         printablePath(target);
}

std::string likelyName(const fs::path& path) {
  const std::string typed = printablePath(path.filename());
  std::vector<std::string> names;
  std::error_code error;
  const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
  for (fs::directory_iterator entries(folder, error); !error && entries != fs::directory_iterator();
       entries.increment(error)) {
    names.push_back(printablePath(entries->path().filename()));
  }
  // The name itself may be there but not what was asked for (a link, a file left out).
  names.erase(std::remove(names.begin(), names.end(), typed), names.end());
  std::sort(names.begin(), names.end());
  return nearestName(typed, names);
}

std::string likelyPathHint(const fs::path& path) {
  const std::string likely = likelyName(path);
  return likely.empty() ? ""
                        : " (did you mean \"" +
                              printablePath(path.parent_path() / pathFromUtf8(likely)) + "\"?)";
}

std::vector<fs::path> existingOutputs(const std::vector<fs::path>& outputs) {
  std::vector<fs::path> existing;
  for (const fs::path& output : outputs) {
    std::string why;
    fs::path canonical = canonicalPath(output, why);
    if (!canonical.empty()) {
      existing.push_back(std::move(canonical));
    }
  }
  return existing;
}

void appendInputs(const AppFiles& app, std::vector<fs::path>& inputs) {
  inputs.insert(inputs.end(), app.folders.begin(), app.folders.end());
  for (const AppFile& file : app.files) {
    inputs.push_back(file.source);
  }
}
