#include "payload/partial_file.h"

// NtQueryInformationFile: a file's index alone. The kernel32 calls give it only with the
// volume's serial number, which costs Wine about a millisecond a call.
#include <winternl.h>

#include <cstddef>
#include <cstdint>
#include <cwchar>

#include "diagnostics/fatal.h"
#include "paths/environment.h"
#include "paths/path_buffer.h"
#include "rules/entry_name.h"

namespace {

constexpr size_t kSuffixUnits = sizeof kPartialFileSuffix;
// The tag: a dot, the process id and a counter in hex joined by a dash, and a terminator.
constexpr size_t kHexDigits = 8;
constexpr size_t kTagUnits = 1 + kHexDigits + 1 + kHexDigits + 1;
// Names tried for one file. Only a file left by an earlier process of the same id, or one
// planted on purpose, takes a name, so a start that finds this many taken gives up.
constexpr unsigned kMostNamesPerFile = 64;

// The final paths the system gives for handles start with "\\?\".
constexpr size_t kFinalPathUnits = kPathUnits + 4;

wchar_t partialPath[kPathUnits];
wchar_t partialSuffix[kSuffixUnits];
uint32_t nextCounter;
wchar_t ownFinalPath[kFinalPathUnits];
wchar_t leftFinalPath[kFinalPathUnits];
wchar_t leftPath[kPathUnits];
wchar_t searchPattern[kPathUnits];

// FILE_RENAME_INFO ends in the first unit of the name; the rest of a path buffer follows it.
union RenameRequest {
  FILE_RENAME_INFO info;
  unsigned char bytes[sizeof(FILE_RENAME_INFO) + kPathUnits * sizeof(wchar_t)];
};
RenameRequest renameRequest;

// FILE_NAME_INFO likewise, for the name a handle's file goes by.
union NameRequest {
  FILE_NAME_INFO info;
  unsigned char bytes[sizeof(FILE_NAME_INFO) + kPathUnits * sizeof(wchar_t)];
};
NameRequest nameRequest;

// kPartialFileSuffix in UTF-16, widened at its first use.
const wchar_t* wideSuffix() {
  if (partialSuffix[0] == L'\0') {
    widenAsciiName(kPartialFileSuffix, partialSuffix, kSuffixUnits);
  }
  return partialSuffix;
}

// Appends `value` in lower-case hex digits, without leading zeros; returns the end.
wchar_t* appendHex(wchar_t* at, uint32_t value) {
  wchar_t digits[kHexDigits];
  size_t count = 0;
  do {
    digits[count++] = L"0123456789abcdef"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  while (count > 0) {
    *at++ = digits[--count];
  }
  return at;
}

// The partial file's path with the next tag; a destination too long to take the tag and the
// suffix cannot be written.
void buildPartialPath(const wchar_t* destination) {
  wchar_t tag[kTagUnits];
  wchar_t* at = tag;
  *at++ = L'.';
  at = appendHex(at, GetCurrentProcessId());
  *at++ = L'-';
  at = appendHex(at, nextCounter++);
  *at = L'\0';
  const wchar_t* suffix = wideSuffix();
  if (wcslen(destination) + wcslen(tag) + wcslen(suffix) >= kPathUnits) {
    failOpenForWriting(destination);
  }
  copyBounded(partialPath, kPathUnits, destination);
  appendBounded(partialPath, kPathUnits, tag);
  appendBounded(partialPath, kPathUnits, suffix);
}

// Whether a name is taken by something already there, file, folder or link.
bool isTakenName(DWORD error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
         error == ERROR_ACCESS_DENIED;
}

// The system removes the file when its last handle closes. Under Wine that is the name the
// file was opened under, whatever is there by then, and never a file a link leads to.
void markForDeletion(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

// Moves the file open as `file` over `destination`, whatever name it has by now.
bool renameOver(HANDLE file, const wchar_t* destination) {
  const size_t units = wcslen(destination);
  FILE_RENAME_INFO& info = renameRequest.info;
  info.ReplaceIfExists = TRUE;
  info.RootDirectory = nullptr;
  info.FileNameLength = static_cast<DWORD>(units * sizeof(wchar_t));
  wmemcpy(info.FileName, destination, units + 1);
  return SetFileInformationByHandle(file, FileRenameInfo, &info, sizeof renameRequest) != 0;
}

// Whether the file open as `file` still goes by the partial name it was created under. Wine
// resolves a created file's name just after it creates it: a link planted at that moment makes
// the handle's name, which a rename through the handle moves, the link's target instead. The
// last name alone is compared, which this start made up itself: the folders above may be named
// in another form (short names) than the handle gives.
bool isNamedAsCreated(HANDLE file) {
  if (!GetFileInformationByHandleEx(file, FileNameInfo, &nameRequest, sizeof nameRequest)) {
    return false;
  }
  const wchar_t* name = nameRequest.info.FileName;
  size_t units = nameRequest.info.FileNameLength / sizeof(wchar_t);
  for (size_t i = units; i > 0; --i) {
    if (name[i - 1] == L'\\') {
      name += i;
      units -= i;
      break;
    }
  }
  const wchar_t* created = wcsrchr(partialPath, L'\\') + 1;
  return units == wcslen(created) && _wcsnicmp(name, created, units) == 0;
}

// The file's index on its volume.
bool readFileIndex(HANDLE file, LARGE_INTEGER* index) {
  IO_STATUS_BLOCK status;
  return NT_SUCCESS(
      NtQueryInformationFile(file, &status, index, sizeof *index, FileInternalInformation));
}

// The path the system gives for `file`, through every link on the way; false when it does not
// fit.
bool readFinalPath(HANDLE file, wchar_t* path) {
  DWORD units = GetFinalPathNameByHandleW(file, path, kFinalPathUnits, FILE_NAME_NORMALIZED);
  return units > 0 && units < kFinalPathUnits;
}

// Whether `path` names the file open as `file`, and not a link or another file that took its
// place: the same index on the volume the file was renamed within. A rename under Wine goes by
// the name the file had, whatever is there by then.
bool namesFile(const wchar_t* path, HANDLE file) {
  HANDLE found = CreateFileW(path, FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             /* security */ nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                             /* template */ nullptr);
  if (found == INVALID_HANDLE_VALUE) {
    return false;
  }
  LARGE_INTEGER written;
  LARGE_INTEGER named;
  bool same = readFileIndex(file, &written) && readFileIndex(found, &named) &&
              written.QuadPart == named.QuadPart;
  CloseHandle(found);
  return same;
}

// Whether the file open as `left` is the one named `name` in the folder of the file open as
// `own`, and no link that leads elsewhere or a folder. Wine opens the file a link leads to even
// when asked for the link, so only its path can tell.
bool isInOwnFolder(HANDLE left, HANDLE own, const wchar_t* name) {
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(left, FileBasicInfo, &basic, sizeof basic) ||
      (basic.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
      !readFinalPath(own, ownFinalPath) || !readFinalPath(left, leftFinalPath)) {
    return false;
  }
  wchar_t* ownName = wcsrchr(ownFinalPath, L'\\');
  size_t folderUnits = static_cast<size_t>(ownName - ownFinalPath) + 1;
  return wcsncmp(leftFinalPath, ownFinalPath, folderUnits) == 0 &&
         wcscmp(leftFinalPath + folderUnits, name) == 0;
}

// Removes the partial file `name` beside `destination` when it is a file of that folder, through
// a handle of its own.
void removeLeftFile(const wchar_t* destination, const wchar_t* name, HANDLE own) {
  copyBounded(leftPath, kPathUnits, destination);
  *(wcsrchr(leftPath, L'\\') + 1) = L'\0';
  if (wcslen(leftPath) + wcslen(name) >= kPathUnits) {
    return;
  }
  appendBounded(leftPath, kPathUnits, name);
  HANDLE left = CreateFileW(leftPath, DELETE | FILE_READ_ATTRIBUTES, /* share */ 0,
                            /* security */ nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                            /* template */ nullptr);
  if (left == INVALID_HANDLE_VALUE) {
    return;
  }
  if (isInOwnFolder(left, own, name)) {
    markForDeletion(left);
  }
  CloseHandle(left);
}

// Removes the partial files of `destination` that terminated starts left, all but `own`, the
// one just created. Links and folders under such names are left alone.
void removeLeftPartialFiles(const wchar_t* destination, HANDLE own) {
  const wchar_t* ownName = wcsrchr(partialPath, L'\\') + 1;
  const wchar_t* suffix = wideSuffix();
  if (wcslen(destination) + wcslen(L".*") + wcslen(suffix) >= kPathUnits) {
    return;
  }
  copyBounded(searchPattern, kPathUnits, destination);
  appendBounded(searchPattern, kPathUnits, L".*");
  appendBounded(searchPattern, kPathUnits, suffix);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(searchPattern, &found);
  if (search == INVALID_HANDLE_VALUE) {
    return;
  }
  do {
    if (wcscmp(found.cFileName, ownName) != 0) {
      removeLeftFile(destination, found.cFileName, own);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace

HANDLE createPartialFile(const wchar_t* destination, bool inNewFolder) {
  for (unsigned name = 0; name < kMostNamesPerFile; ++name) {
    buildPartialPath(destination);
    HANDLE file = CreateFileW(partialPath, GENERIC_WRITE | DELETE, /* share */ 0,
                              /* security */ nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              /* template */ nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      if (!inNewFolder) {
        removeLeftPartialFiles(destination, file);
      }
      return file;
    }
    if (!isTakenName(GetLastError())) {
      break;
    }
  }
  failOpenForWriting(destination);
}

void completePartialFile(HANDLE file, const wchar_t* destination) {
  if (!isNamedAsCreated(file)) {
    CloseHandle(file);
    failOpenForWriting(destination);
  }
  if (!renameOver(file, destination)) {
    markForDeletion(file);
    CloseHandle(file);
    failOpenForWriting(destination);
  }
  bool renamed = namesFile(destination, file);
  CloseHandle(file);
  if (!renamed) {
    failOpenForWriting(destination);
  }
}
