// What output files share on every system.
#include "packer/output_file.h"

#include "packer/file_system.h"

namespace fs = std::filesystem;

void makeFolderFor(const fs::path& target) {
  const fs::path folder = fs::absolute(target).parent_path();
  std::error_code error;
  if (!fs::is_directory(folder, error) && !fs::create_directories(folder, error) && error) {
    throw pathError(folder, "the output's folder cannot be made: " + error.message());
  }
}
