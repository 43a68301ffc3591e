// What output files share on every system.
#include "packer/system/output_file.h"

#include "packer/system/file_system.h"

namespace fs = std::filesystem;

void makeFolderFor(const fs::path& target) {
  const fs::path folder = fs::absolute(target).parent_path();
  std::error_code error;
  if (!fs::is_directory(folder, error) && !fs::create_directories(folder, error) && error) {
    throw pathError(folder, "the output's folder cannot be made: " + error.message());
  }
}

std::string outputProblem(const std::string& option, const fs::path& target,
                          const std::string& example) {
  const std::string shown = option + " " + printablePath(target);
  std::error_code error;
  if (fs::is_directory(target, error)) {
    return shown + " is a folder: name the file to write, such as " +
           printablePath(target / pathFromUtf8(example));
  }
  if (fs::exists(target, error)) {
    const std::string problem = replacementProblem(target);
    return problem.empty() ? "" : shown + " cannot be replaced: " + problem;
  }
  fs::path folder = target.parent_path();
  while (!folder.empty() && !fs::exists(folder, error) && folder.has_relative_path()) {
    folder = folder.parent_path();
  }
  if (folder.empty()) {
    folder = ".";
  }
  if (!fs::is_directory(folder, error)) {
    return shown + " cannot be written: " + printablePath(folder) + " is a file, not a folder";
  }
  const std::string problem = newEntryProblem(folder);
  return problem.empty() ? ""
                         : shown + " cannot be written: the folder " + printablePath(folder) +
                               " takes no new files (" + problem + ")";
}
