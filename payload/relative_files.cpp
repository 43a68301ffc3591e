#include "payload/relative_files.h"

// The native calls take a root folder for a name; kernel32 takes full paths only.
#include <winternl.h>

#include <cwchar>

#include "paths/case_folding.h"

// ntdll exports it; winternl.h leaves it out.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PVOID apcRoutine,
                                               PVOID apcContext, PIO_STATUS_BLOCK status,
                                               PVOID buffer, ULONG length,
                                               FILE_INFORMATION_CLASS infoClass,
                                               BOOLEAN singleEntry, PUNICODE_STRING mask,
                                               BOOLEAN restartScan);

namespace {

// FileInternalInformation and FileDirectoryInformation, which winternl.h does not name.
constexpr auto kFileInternalInformation = static_cast<FILE_INFORMATION_CLASS>(6);
constexpr auto kFileDirectoryInformation = static_cast<FILE_INFORMATION_CLASS>(1);
constexpr auto kFileLinkInformation = static_cast<FILE_INFORMATION_CLASS>(11);

// A name's bytes must fit the 16-bit length of a counted string; path buffers stay far below.
constexpr size_t kMostNameUnits = 0x7FFF;
static_assert(kFinalPathUnits < kMostNameUnits, "every path the launcher holds fits");

constexpr size_t kListingBytes = size_t{64} << 10;

// The rename and link requests end in the first unit of the name; a path buffer follows. One
// lives on the stack of each call: threads link files side by side.
union NameRequest {
  FILE_RENAME_INFORMATION rename;
  FILE_LINK_INFORMATION link;
  unsigned char bytes[sizeof(FILE_RENAME_INFORMATION) + kPathUnits * sizeof(wchar_t)];
};

alignas(8) unsigned char listing[kListingBytes];
size_t listingAt;
size_t listingEnd;
HANDLE listingFolder;

// FILE_DIRECTORY_INFORMATION, laid out as the system writes it.
struct DirectoryEntry {
  ULONG nextEntryOffset;
  ULONG fileIndex;
  LARGE_INTEGER creationTime;
  LARGE_INTEGER lastAccessTime;
  LARGE_INTEGER lastWriteTime;
  LARGE_INTEGER changeTime;
  LARGE_INTEGER endOfFile;
  LARGE_INTEGER allocationSize;
  ULONG fileAttributes;
  ULONG fileNameLength;
  WCHAR fileName[1];
};

bool succeeded(NTSTATUS status) {
  if (NT_SUCCESS(status)) {
    return true;
  }
  SetLastError(RtlNtStatusToDosError(status));
  return false;
}

UNICODE_STRING countedName(const wchar_t* name, size_t units) {
  UNICODE_STRING counted;
  counted.Buffer = const_cast<wchar_t*>(name);
  counted.Length = counted.MaximumLength = static_cast<USHORT>(units * sizeof(wchar_t));
  return counted;
}

// Fills `request` for a rename or link of `units` units; false when the name cannot be held.
bool fillNameRequest(NameRequest& nameRequest, HANDLE folder, const wchar_t* name, size_t units,
                     bool replace) {
  if (units >= kPathUnits) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  FILE_RENAME_INFORMATION& request = nameRequest.rename;
  request.ReplaceIfExists = replace ? TRUE : FALSE;
  request.RootDirectory = folder;
  request.FileNameLength = static_cast<ULONG>(units * sizeof(wchar_t));
  wmemcpy(request.FileName, name, units);
  return true;
}

void endListing() {
  if (listingFolder != nullptr) {
    CloseHandle(listingFolder);
    listingFolder = nullptr;
  }
  listingAt = listingEnd = 0;
}

}  // namespace

HANDLE openRelative(HANDLE folder, const wchar_t* name, size_t units, const RelativeOpen& how,
                    bool* created) {
  if (units > kMostNameUnits) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  UNICODE_STRING counted = countedName(name, units);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &counted, OBJ_CASE_INSENSITIVE, folder,
                             /* security */ nullptr);
  IO_STATUS_BLOCK status{};
  HANDLE handle = nullptr;
  if (!succeeded(NtCreateFile(&handle, how.access | SYNCHRONIZE, &attributes, &status,
                              /* allocation size */ nullptr, FILE_ATTRIBUTE_NORMAL, how.sharing,
                              how.disposition,
                              how.options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT,
                              /* extended attributes */ nullptr, 0))) {
    return nullptr;
  }
  if (created != nullptr) {
    *created = status.Information == FILE_CREATED;
  }
  return handle;
}

bool renameRelative(HANDLE file, HANDLE folder, const wchar_t* name, size_t units, bool replace) {
  NameRequest nameRequest;
  if (!fillNameRequest(nameRequest, folder, name, units, replace)) {
    return false;
  }
  IO_STATUS_BLOCK status;
  return succeeded(
      NtSetInformationFile(file, &status, &nameRequest, sizeof nameRequest, FileRenameInformation));
}

bool linkRelative(HANDLE file, HANDLE folder, const wchar_t* name, size_t units) {
  NameRequest nameRequest;
  if (!fillNameRequest(nameRequest, folder, name, units, /* replace */ false)) {
    return false;
  }
  IO_STATUS_BLOCK status;
  return succeeded(
      NtSetInformationFile(file, &status, &nameRequest, sizeof nameRequest, kFileLinkInformation));
}

bool markForDeletion(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                    sizeof disposition) != 0;
}

bool readFileIndex(HANDLE handle, uint64_t* index) {
  // The index alone: the kernel32 calls give it only with the volume's serial number, which
  // costs Wine about a millisecond a call.
  LARGE_INTEGER value;
  IO_STATUS_BLOCK status;
  if (!succeeded(NtQueryInformationFile(handle, &status, &value, sizeof value,
                                        kFileInternalInformation))) {
    return false;
  }
  *index = static_cast<uint64_t>(value.QuadPart);
  return true;
}

bool readFinalPath(HANDLE handle, wchar_t* path) {
  // The object's name, not GetFinalPathNameByHandleW, which Wine cannot give beyond MAX_PATH.
  union {
    UNICODE_STRING name;
    unsigned char bytes[sizeof(UNICODE_STRING) + kFinalPathUnits * sizeof(wchar_t)];
  } answer;
  ULONG length = 0;
  if (!succeeded(NtQueryObject(handle, ObjectNameInformation, &answer, sizeof answer, &length)) ||
      answer.name.Buffer == nullptr) {
    return false;
  }
  const size_t units = answer.name.Length / sizeof(wchar_t);
  if (units >= kFinalPathUnits) {
    return false;
  }
  wmemcpy(path, answer.name.Buffer, units);
  path[units] = L'\0';
  return true;
}

bool isPlainEntry(HANDLE handle, bool folder) {
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
    return false;
  }
  const bool isFolder = (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return isFolder == folder && (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool isFinalPathBelow(const wchar_t* finalPath, const wchar_t* folderPath, const wchar_t* name,
                      size_t units) {
  const size_t folderUnits = wcslen(folderPath);
  return wcslen(finalPath) == folderUnits + 1 + units &&
         equalIgnoringCase(finalPath, folderPath, folderUnits) && finalPath[folderUnits] == L'\\' &&
         equalIgnoringCase(finalPath + folderUnits + 1, name, units);
}

bool isNamedBelow(HANDLE handle, const wchar_t* folderPath, const wchar_t* name, size_t units) {
  wchar_t finalPath[kFinalPathUnits];
  return readFinalPath(handle, finalPath) && isFinalPathBelow(finalPath, folderPath, name, units);
}

bool nextListedName(HANDLE folder, const wchar_t* mask, bool restart, ListedName* listed) {
  if (restart) {
    endListing();
    // A handle keeps the mask of its first listing for good: each listing gets a new one.
    listingFolder =
        ReOpenFile(folder, FILE_LIST_DIRECTORY, kAnySharing, FILE_FLAG_BACKUP_SEMANTICS);
    if (listingFolder == INVALID_HANDLE_VALUE) {
      listingFolder = nullptr;
      return false;
    }
  }
  if (listingFolder == nullptr) {
    return false;
  }
  if (restart || listingAt == listingEnd) {
    UNICODE_STRING counted = countedName(mask, mask == nullptr ? 0 : wcslen(mask));
    IO_STATUS_BLOCK status{};
    if (!succeeded(NtQueryDirectoryFile(
            listingFolder, /* event */ nullptr, /* apc */ nullptr,
            /* apc context */ nullptr, &status, listing, kListingBytes, kFileDirectoryInformation,
            /* single entry */ FALSE, mask == nullptr ? nullptr : &counted, restart))) {
      endListing();
      return false;
    }
    listingAt = 0;
    listingEnd = status.Information;
  }
  const auto* entry = reinterpret_cast<const DirectoryEntry*>(listing + listingAt);
  listed->name = entry->fileName;
  listed->units = entry->fileNameLength / sizeof(wchar_t);
  listed->attributes = entry->fileAttributes;
  listed->lastWriteTime = entry->lastWriteTime.QuadPart;
  listingAt = entry->nextEntryOffset == 0 ? listingEnd : listingAt + entry->nextEntryOffset;
  return true;
}
