#include "packer/app_folder.h"

#include <algorithm>
#include <optional>

#include "packer/file_system.h"
#include "packer/pack_error.h"
#include "packer/text_encoding.h"
#include "packer/windows_names.h"
#include "payload/payload_format.h"

namespace fs = std::filesystem;

namespace {

// A run reports this many problems of a folder at most, so that a folder full of them still
// gives a message one can read.
constexpr size_t kMaxShownProblems = 20;

struct Walk {
  fs::path root;                      // canonical
  std::vector<fs::path> openFolders;  // canonical folders being walked, to find link loops
  AppFiles found;
  std::vector<std::string> problems;  // every entry that cannot be packed, each once
};

// Where an entry stands in the walk: its name in the region, and why Windows could not store
// it or a folder above it. A folder's problem fails the run only once a file lies below it,
// since empty folders are not packed.
struct EntryName {
  std::u16string name;
  std::string problem;
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

// The name of the entry at `path` below `parent`, and the first problem of the entry or the
// folders above it.
EntryName entryName(const fs::path& path, const EntryName& parent) {
  EntryName result = parent;
  const std::optional<std::u16string> component = nameUnits(path.filename());
  const std::string problem =
      component ? windowsComponentProblem(*component) : kNameEncodingProblem;
  if (result.problem.empty() && !problem.empty()) {
    result.problem = printablePath(path) + ": " + problem;
  }
  if (component) {
    result.name = parent.name.empty() ? *component : parent.name + u'\\' + *component;
  }
  return result;
}

// Refuses a link that leads outside the folder: the launcher would write its target's bytes
// under the link's name, and they are not the application's.
void checkInside(const Walk& walk, const fs::path& path, const fs::path& target) {
  const bool inside =
      std::mismatch(walk.root.begin(), walk.root.end(), target.begin(), target.end()).first ==
      walk.root.end();
  if (!inside) {
    refuse(path, "symbolic link leads outside the folder, to " + printablePath(target));
  }
}

void addFile(Walk& walk, const fs::path& path, const EntryName& name, const EntryFacts& entry) {
  if (!name.problem.empty()) {
    throw PackError(name.problem);
  }
  if (name.name.size() > kMaxNameUnits) {
    refuse(path, windowsNameProblem(name.name));
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
  walk.found.files.push_back({name.name, path, size, entry.canonical, entry.id});
}

void walkFolder(Walk& walk, const fs::path& folder, const fs::path& canonical,
                const EntryName& name);

void addEntry(Walk& walk, const fs::path& path, const fs::path& canonicalFolder,
              const EntryName& folderName) {
  const EntryName name = entryName(path, folderName);
  const EntryFacts entry = examineEntry(path, canonicalFolder);
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
                    const EntryName& folderName) {
  try {
    addEntry(walk, path, canonicalFolder, folderName);
  } catch (const PackError& problem) {
    // A folder's name problem comes back for every file below it.
    if (std::find(walk.problems.begin(), walk.problems.end(), problem.what()) ==
        walk.problems.end()) {
      walk.problems.push_back(problem.what());
    }
  }
}

void walkFolder(Walk& walk, const fs::path& folder, const fs::path& canonical,
                const EntryName& name) {
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

fs::path canonicalFolder(const fs::path& folder) {
  std::error_code error;
  if (!fs::exists(folder, error)) {
    refuse(folder, "application folder does not exist");
  }
  if (!fs::is_directory(folder, error)) {
    refuse(folder, "application folder is not a folder");
  }
  std::string why;
  fs::path canonical = canonicalPath(folder, why);
  if (canonical.empty()) {
    refuse(folder, "application folder cannot be resolved: " + why);
  }
  return canonical;
}

// Moves the main file to the front; refuses a main file the walk did not find.
void putMainFirst(std::vector<AppFile>& files, const fs::path& folder, std::string_view main) {
  const std::u16string mainName = mainEntryName(main);
  auto found = std::find_if(files.begin(), files.end(),
                            [&](const AppFile& file) { return file.name == mainName; });
  if (found == files.end()) {
    const fs::path path = folder / relativePath(main);
    std::error_code error;
    const bool isFolder = fs::is_directory(path, error);
    refuse(path, isFolder ? "main file is a folder" : "main file is not in the folder");
  }
  std::rotate(files.begin(), found, found + 1);
}

// One problem as it is; several as a list, the first kMaxShownProblems of them.
[[noreturn]] void refuseAll(const fs::path& folder, const std::vector<std::string>& problems) {
  if (problems.size() == 1) {
    throw PackError(problems.front());
  }
  std::string message = printablePath(folder) + ": " + std::to_string(problems.size()) +
                        " files or folders cannot be packed:";
  for (size_t i = 0; i < problems.size() && i < kMaxShownProblems; ++i) {
    message += "\n  " + problems[i];
  }
  if (problems.size() > kMaxShownProblems) {
    message += "\n  and " + std::to_string(problems.size() - kMaxShownProblems) + " more";
  }
  throw PackError(message);
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

AppFiles collectAppFiles(const fs::path& folder, std::string_view mainName) {
  Walk walk;
  walk.root = canonicalFolder(folder);
  walkFolder(walk, folder, walk.root, EntryName{});
  if (!walk.problems.empty()) {
    refuseAll(folder, walk.problems);
  }
  std::vector<AppFile>& files = walk.found.files;
  std::sort(files.begin(), files.end(),
            [](const AppFile& a, const AppFile& b) { return a.name < b.name; });
  std::vector<std::u16string> names;
  for (const AppFile& file : files) {
    names.push_back(file.name);
  }
  if (auto conflict = findNameConflict(names)) {
    throw PackError(printablePath(folder) + ": \"" + utf16ToUtf8(conflict->first) + "\" and \"" +
                    utf16ToUtf8(conflict->second) +
                    "\" differ only in letter case and would be one file on Windows");
  }
  putMainFirst(files, folder, mainName);
  return std::move(walk.found);
}
