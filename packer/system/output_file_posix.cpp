// Output files on POSIX systems: mkstemp beside the target, removed by unwinding or by the
// interruption handler, renamed over the target when complete.
#include "packer/system/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "packer/messages/pack_error.h"
#include "packer/system/file_system.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void failOn(const fs::path& path, const std::string& what) {
  throw pathError(path, what + ": " + std::strerror(errno));
}

// mkstemp creates files readable by the owner alone; outputs get the usual permissions.
mode_t permissionsOfNewFiles() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

std::string newEntryProblem(const fs::path& folder) {
  return access(folder.c_str(), W_OK | X_OK) == 0 ? "" : std::strerror(errno);
}

// A rename replaces any file of a folder that takes new entries.
std::string replacementProblem(const fs::path& /* target */) {
  return "";
}

OutputFile::OutputFile(fs::path target) : target_(std::move(target)) {
  fs::path folder = target_.parent_path();
  if (folder.empty()) {
    folder = ".";
  }
  // The suffix keeps an extension on the name: the mingw linker adds ".exe" to names without.
  std::string pattern = (folder / ("." + target_.filename().native() + ".tmp-XXXXXX")).native();
  const int fd = mkstemp(pattern.data());
  if (fd < 0) {
    failOn(target_, "cannot create a temporary file beside it");
  }
  temporary_ = pattern;
  removal_ = std::make_unique<RemovedOnInterruption>(temporary_, /* folder */ false);
  if (fchmod(fd, permissionsOfNewFiles()) != 0 || !(stream_ = fdopen(fd, "wb"))) {
    const int saved = errno;
    close(fd);
    unlink(temporary_.c_str());
    errno = saved;
    failOn(temporary_, "cannot open");
  }
}

OutputFile::~OutputFile() {
  if (stream_) {
    std::fclose(stream_);
  }
  if (!committed_) {
    unlink(temporary_.c_str());
  }
}

void OutputFile::commit() {
  std::FILE* stream = stream_;
  stream_ = nullptr;
  if (std::fclose(stream) != 0) {
    failOn(temporary_, "cannot be written");
  }
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    failOn(target_, "cannot be written");
  }
  committed_ = true;
}
