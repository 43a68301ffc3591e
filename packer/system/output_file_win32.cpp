// Output files on Windows: created beside the target and marked for deletion at once, so that
// the system removes them with their handle however the packer ends (an error, Ctrl-C, a
// kill); commit() takes the mark away, closes the file and moves it over the target.
#include "packer/system/output_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "packer/messages/pack_error.h"
#include "packer/system/file_system.h"
#include "packer/system/windows_error.h"

namespace fs = std::filesystem;

namespace {

// Temporary names are tried in turn until one is free; a folder holding this many of them
// is not going to free one.
constexpr int kNameTries = 100;

[[noreturn]] void failOn(const fs::path& path, const std::string& what, DWORD error) {
  throw pathError(path, what + ": " + windowsErrorText(error));
}

[[noreturn]] void failOnErrno(const fs::path& path, const std::string& what) {
  throw pathError(path, what + ": " + std::strerror(errno));
}

bool markForDeletion(HANDLE file, bool deleted) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = deleted ? TRUE : FALSE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) !=
         0;
}

// ".<name>.tmp-<process id>-<try>": no other packer takes it at the same moment.
fs::path temporaryName(const fs::path& target, int attempt) {
  return L"." + target.filename().native() + L".tmp-" + std::to_wstring(GetCurrentProcessId()) +
         L"-" + std::to_wstring(attempt);
}

}  // namespace

// The access check of creating an entry, without creating one: the folder opened for the
// rights that creation needs.
std::string newEntryProblem(const fs::path& folder) {
  HANDLE handle = CreateFileW(folder.c_str(), FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, /* folders too */ FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return windowsErrorText(GetLastError());
  }
  if (!CloseHandle(handle)) {
    return windowsErrorText(GetLastError());
  }
  return "";
}

// MoveFileExW replaces no read-only file.
std::string replacementProblem(const fs::path& target) {
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return windowsErrorText(GetLastError());
  }
  return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? "it is read-only" : "";
}

OutputFile::OutputFile(fs::path target) : target_(std::move(target)) {
  fs::path folder = target_.parent_path();
  if (folder.empty()) {
    folder = L".";
  }
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; file == INVALID_HANDLE_VALUE; ++attempt) {
    temporary_ = folder / temporaryName(target_, attempt);
    file = CreateFileW(temporary_.c_str(), GENERIC_WRITE | DELETE, /* no sharing */ 0, nullptr,
                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    if (file == INVALID_HANDLE_VALUE && (error != ERROR_FILE_EXISTS || attempt + 1 == kNameTries)) {
      failOn(target_, "cannot create a temporary file beside it", error);
    }
  }
  if (!markForDeletion(file, true)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    DeleteFileW(temporary_.c_str());
    failOn(temporary_, "cannot be marked for deletion", error);
  }
  // From here on, closing the handle removes the file.
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
  if (descriptor < 0) {
    CloseHandle(file);
    failOnErrno(temporary_, "cannot open");
  }
  stream_ = _fdopen(descriptor, "wb");
  if (!stream_) {
    const int saved = errno;
    _close(descriptor);
    errno = saved;
    failOnErrno(temporary_, "cannot open");
  }
}

OutputFile::~OutputFile() {
  // Unless committed, closing removes the file.
  if (stream_) {
    std::fclose(stream_);
  }
}

void OutputFile::commit() {
  if (std::fflush(stream_) != 0) {
    failOnErrno(temporary_, "cannot be written");
  }
  if (!markForDeletion(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream_))), false)) {
    failOn(temporary_, "cannot be kept", GetLastError());
  }
  std::FILE* stream = stream_;
  stream_ = nullptr;
  if (std::fclose(stream) != 0) {
    const int saved = errno;
    DeleteFileW(temporary_.c_str());
    errno = saved;
    failOnErrno(temporary_, "cannot be written");
  }
  if (!MoveFileExW(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    const DWORD error = GetLastError();
    DeleteFileW(temporary_.c_str());
    failOn(target_, "cannot be written", error);
  }
  committed_ = true;
}
