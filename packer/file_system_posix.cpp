// The file system of POSIX systems, where names are bytes, UTF-8 by convention.
#include "packer/file_system.h"

#include "packer/text_encoding.h"

namespace fs = std::filesystem;

const char kNameEncodingProblem[] = "name is not valid UTF-8";

std::string printablePath(const fs::path& path) {
  return printableBytes(path.native());
}

std::optional<std::u16string> nameUnits(const fs::path& name) {
  return utf8ToUtf16(name.native());
}

std::FILE* openFile(const fs::path& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

EntryFacts examineEntry(const fs::path& path, const fs::path& folder) {
  std::error_code error;
  const fs::file_status own = fs::symlink_status(path, error);
  if (error) {
    throw pathError(path, "cannot be examined: " + error.message());
  }
  if (!fs::is_symlink(own)) {
    return {own.type(), false, folder / path.filename()};
  }
  fs::path target = fs::canonical(path, error);
  if (error == std::errc::too_many_symbolic_link_levels) {
    throw pathError(path, "symbolic link loop");
  }
  const fs::file_status status = error ? fs::file_status() : fs::status(path, error);
  if (error) {
    throw pathError(path, "symbolic link cannot be followed: " + error.message());
  }
  return {status.type(), true, std::move(target)};
}

fs::path canonicalPath(const fs::path& path, std::string& why) {
  std::error_code error;
  fs::path canonical = fs::canonical(path, error);
  if (error) {
    why = error.message();
    return {};
  }
  return canonical;
}
