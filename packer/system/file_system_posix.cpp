// The file system of POSIX systems, where names are bytes, UTF-8 by convention.
#include "packer/system/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "packer/messages/text_encoding.h"

namespace fs = std::filesystem;

namespace {

FileId idOf(const struct stat& status) {
  return {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}

// The file `path` reaches, a link at its name followed or not.
FileId examinedId(const fs::path& path, bool followLink) {
  struct stat status;
  if ((followLink ? stat(path.c_str(), &status) : lstat(path.c_str(), &status)) != 0) {
    throw pathError(path, std::string("cannot be examined: ") + std::strerror(errno));
  }
  return idOf(status);
}

[[noreturn]] void failReading(const fs::path& path) {
  throw pathError(path, std::string("cannot be read: ") + std::strerror(errno));
}

}  // namespace

const char kNameEncodingProblem[] = "name is not valid UTF-8";

std::string printablePath(const fs::path& path) {
  return printableBytes(path.lexically_normal().native());
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
    return {own.type(), false, folder / path.filename(), examinedId(path, false)};
  }
  fs::path target = fs::canonical(path, error);
  if (error == std::errc::too_many_symbolic_link_levels) {
    throw pathError(path, "symbolic link loop");
  }
  const fs::file_status status = error ? fs::file_status() : fs::status(path, error);
  if (error) {
    throw pathError(path, "symbolic link cannot be followed: " + error.message());
  }
  return {status.type(), true, std::move(target), examinedId(path, true)};
}

bool holdsFiles(const fs::path& path, const std::u16string& name,
                const std::function<bool(const std::u16string&)>& leftOut) {
  std::error_code error;
  if (!fs::is_directory(fs::symlink_status(path, error)) || error) {
    return true;
  }
  fs::directory_iterator entries(path, error);
  for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
    const std::optional<std::u16string> units = nameUnits(entries->path().filename());
    const std::u16string child = units ? name + u'\\' + *units : name;
    if (!(units && leftOut(child)) && holdsFiles(entries->path(), child, leftOut)) {
      return true;
    }
  }
  return static_cast<bool>(error);
}

OpenedFile openFoundFile(const fs::path& path, const FileId& id, const fs::path& shown) {
  // A fifo put in the file's place must not block the open; reading regular files ignores the
  // flag.
  const int descriptor = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) {
    if (errno == ELOOP) {
      throw pathError(shown, kReplacedFile);
    }
    failReading(shown);
  }
  FileStream stream(fdopen(descriptor, "rb"), std::fclose);
  if (!stream) {
    const int why = errno;
    close(descriptor);
    errno = why;
    failReading(shown);
  }
  struct stat status;
  if (fstat(descriptor, &status) != 0) {
    failReading(shown);
  }
  if (!S_ISREG(status.st_mode) || !(idOf(status) == id)) {
    throw pathError(shown, kReplacedFile);
  }
  return {std::move(stream), static_cast<uint64_t>(status.st_size)};
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
