// The file system of Windows, where names are UTF-16. libstdc++ sees no links there (it reads
// every path through them), so links are found by opening each entry and asking the system
// which file it reached.
#include "packer/system/file_system.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "packer/messages/text_encoding.h"
#include "packer/system/windows_error.h"

namespace fs = std::filesystem;

namespace {

// GetFinalPathNameByHandleW names files with these prefixes, which paths a user gives lack.
constexpr std::wstring_view kLocalPrefix = L"\\\\?\\";
constexpr std::wstring_view kSharePrefix = L"\\\\?\\UNC\\";

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

std::u16string_view unitsOf(const std::wstring& text) {
  return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}

// Opens a file or folder to read its attributes, through any links on the way; empty on
// failure, with the system's error code for it.
Handle openForQuery(const fs::path& path) {
  HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, /* folders too */ FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// The path of the open file as the system names it, in the form a user writes: "C:\..." or
// "\\server\share\...". Empty on failure, with the system's error code.
fs::path finalPath(HANDLE file) {
  std::vector<wchar_t> name(MAX_PATH);
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(file, name.data(), name.size(),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) {
      return {};
    }
    if (length < name.size()) {
      name.resize(length);
      break;
    }
    name.resize(length);  // the size needed, with its NUL
  }
  std::wstring text(name.begin(), name.end());
  if (text.compare(0, kSharePrefix.size(), kSharePrefix) == 0) {
    return L"\\\\" + text.substr(kSharePrefix.size());
  }
  if (text.compare(0, kLocalPrefix.size(), kLocalPrefix) == 0) {
    return text.substr(kLocalPrefix.size());
  }
  return text;
}

FileId idOf(const BY_HANDLE_FILE_INFORMATION& information) {
  return {information.dwVolumeSerialNumber,
          static_cast<uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow};
}

[[noreturn]] void failReading(const fs::path& path, const std::string& why) {
  throw pathError(path, "cannot be read: " + why);
}

// An entry the folder's listing just gave that cannot be opened is a link whose target is
// missing (Wine lists links to nothing, and shows no attributes for them), unless the entry
// says it is something else.
bool danglingLink(const fs::path& path, DWORD error) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  }
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// `path` as a path the system takes as it is, with no name read as a device or trimmed of its
// trailing dots and blanks: "\\?\C:\..." or "\\?\UNC\server\share\...". Only the folder above
// the entry goes through the usual rules, which its names pass.
std::wstring verbatimPath(const fs::path& path) {
  const std::wstring folder = fs::absolute(path.parent_path()).native();
  const std::wstring prefixed = folder.compare(0, 2, L"\\\\") == 0
                                    ? std::wstring(kSharePrefix) + folder.substr(2)
                                    : std::wstring(kLocalPrefix) + folder;
  return prefixed + L"\\" + path.filename().native();
}

bool holdsFilesAt(const std::wstring& verbatim, const std::u16string& name,
                  const std::function<bool(const std::u16string&)>& leftOut) {
  const DWORD attributes = GetFileAttributesW(verbatim.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return true;
  }
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((verbatim + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return true;
  }
  bool holds = false;
  do {
    const std::wstring entry = found.cFileName;
    if (entry == L"." || entry == L"..") {
      continue;
    }
    const std::u16string child = name + u'\\' + std::u16string(unitsOf(entry));
    holds = !leftOut(child) && holdsFilesAt(verbatim + L"\\" + entry, child, leftOut);
  } while (!holds && FindNextFileW(search, &found));
  const bool complete = holds || GetLastError() == ERROR_NO_MORE_FILES;
  if (!FindClose(search)) {
    return true;
  }
  return holds || !complete;
}

}  // namespace

const char kNameEncodingProblem[] = "name is not valid UTF-16 (it holds an unpaired surrogate)";

std::string printablePath(const fs::path& path) {
  return utf16ToUtf8(unitsOf(path.lexically_normal().native()));
}

std::optional<std::u16string> nameUnits(const fs::path& name) {
  const std::u16string_view units = unitsOf(name.native());
  if (!validUtf16(units)) {
    return std::nullopt;
  }
  return std::u16string(units);
}

std::FILE* openFile(const fs::path& path, const char* mode) {
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(path.c_str(), wideMode.c_str());
}

EntryFacts examineEntry(const fs::path& path, const fs::path& folder) {
  const Handle file = openForQuery(path);
  if (!file) {
    const DWORD error = GetLastError();
    if (error == ERROR_CANT_RESOLVE_FILENAME) {
      throw pathError(path, "symbolic link loop");
    }
    if (danglingLink(path, error)) {
      throw pathError(path, "symbolic link cannot be followed: " + windowsErrorText(error));
    }
    throw pathError(path, "cannot be examined: " + windowsErrorText(error));
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file.get(), &information)) {
    throw pathError(path, "cannot be examined: " + windowsErrorText(GetLastError()));
  }
  fs::path reached = finalPath(file.get());
  if (reached.empty()) {
    throw pathError(path, "cannot be examined: " + windowsErrorText(GetLastError()));
  }
  const bool folderEntry = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const fs::file_type type = folderEntry ? fs::file_type::directory : fs::file_type::regular;
  fs::path own = folder / path.filename();
  if (reached == own) {
    return {type, false, std::move(own), idOf(information)};
  }
  return {type, true, std::move(reached), idOf(information)};
}

bool holdsFiles(const fs::path& path, const std::u16string& name,
                const std::function<bool(const std::u16string&)>& leftOut) {
  return holdsFilesAt(verbatimPath(path), name, leftOut);
}

OpenedFile openFoundFile(const fs::path& path, const FileId& id, const fs::path& shown) {
  // A link in the file's place is opened itself, not followed (where the system shows links).
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    failReading(shown, windowsErrorText(GetLastError()));
  }
  Handle owned(file);
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information)) {
    failReading(shown, windowsErrorText(GetLastError()));
  }
  constexpr DWORD kNotAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  if ((information.dwFileAttributes & kNotAFile) != 0 || !(idOf(information) == id)) {
    throw pathError(shown, kReplacedFile);
  }
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
  if (descriptor < 0) {
    failReading(shown, std::strerror(errno));
  }
  owned.release();  // the descriptor owns the handle now
  FileStream stream(_fdopen(descriptor, "rb"), std::fclose);
  if (!stream) {
    const std::string why = std::strerror(errno);
    _close(descriptor);
    failReading(shown, why);
  }
  const uint64_t size =
      static_cast<uint64_t>(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
  return {std::move(stream), size};
}

fs::path canonicalPath(const fs::path& path, std::string& why) {
  const Handle file = openForQuery(path);
  fs::path reached = file ? finalPath(file.get()) : fs::path();
  if (reached.empty()) {
    why = windowsErrorText(GetLastError());
  }
  return reached;
}
