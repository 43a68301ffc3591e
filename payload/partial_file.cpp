#include "payload/partial_file.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cwchar>

#include "diagnostics/fatal.h"
#include "paths/environment.h"
#include "paths/number_text.h"
#include "paths/path_buffer.h"
#include "payload/leftovers.h"
#include "payload/relative_files.h"
#include "rules/entry_name.h"

namespace {

// The tag: a dot, the process id and a counter in hex joined by a dash, and a terminator.
constexpr size_t kTagUnits = 1 + kNumberUnits + 1 + kNumberUnits;
// Names tried for one file. Only a file left by an earlier process of the same id, or one
// planted on purpose, takes a name, so a start that finds this many taken gives up.
constexpr unsigned kMostNamesPerFile = 64;
// A file another process holds open without delete sharing can be neither replaced nor moved
// aside. On-access scanners hold each new or changed file so while they read it, mostly for
// milliseconds and for a few seconds at most; a program that keeps the file open holds it for
// good. So a start tries again, ever less often, for 5 seconds before it gives up: enough for a
// scanner twice over, and a start that meets such a file pays nothing otherwise.
constexpr DWORD kFirstRetryMilliseconds = 10;
constexpr DWORD kLongestRetryPauseMilliseconds = 250;
constexpr DWORD kMostRetryMilliseconds = 5000;

const RelativeOpen kCreatePartial{GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES,
                                  /* sharing */ 0, FILE_CREATE, FILE_NON_DIRECTORY_FILE};
const RelativeOpen kIdentify{FILE_READ_ATTRIBUTES, kAnySharing, FILE_OPEN, 0};
// A running program's image is open with delete sharing, so it can be moved, not replaced.
const RelativeOpen kMoveAside{DELETE | FILE_READ_ATTRIBUTES, kAnySharing, FILE_OPEN,
                              FILE_NON_DIRECTORY_FILE};

wchar_t partialName[kPathUnits];
wchar_t partialSuffix[kPartialFileSuffixUnits + 1];
// Counts the partial names of both threads that name files: the creating and the completing one.
std::atomic<uint32_t> nextCounter;
wchar_t leftMask[kPathUnits];
wchar_t leftName[kPathUnits];
wchar_t asideName[kPathUnits];

// What a move aside came to.
enum class MoveAside { kMoved, kStays, kBusy };

// kPartialFileSuffix in UTF-16, widened at its first use.
const wchar_t* wideSuffix() {
  if (partialSuffix[0] == L'\0') {
    widenAsciiName(kPartialFileSuffix, partialSuffix, kPartialFileSuffixUnits + 1);
  }
  return partialSuffix;
}

// Whether a name is taken by something already there, file, folder or link.
bool isTakenName(DWORD error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
         error == ERROR_ACCESS_DENIED;
}

// Whether `name` in `folder` is the file open as `file`, and not a link or another file that
// took its place: the same index on the volume of the folder.
bool namesFile(const HeldFolder& folder, const wchar_t* name, HANDLE file) {
  HANDLE found = openRelative(folder.handle, name, wcslen(name), kIdentify);
  if (found == nullptr) {
    return false;
  }
  uint64_t written = 0;
  uint64_t named = 0;
  bool same = readFileIndex(file, &written) && readFileIndex(found, &named) && written == named;
  CloseHandle(found);
  return same;
}

// Removes the partial files of `leaf` that terminated starts left, all but the one just created.
// Links and folders under such names are left alone.
void removeLeftPartialFiles(const HeldFolder& folder, const wchar_t* leaf) {
  const wchar_t* suffix = wideSuffix();
  if (wcslen(leaf) + wcslen(L".*") + wcslen(suffix) >= kPathUnits) {
    return;
  }
  copyBounded(leftMask, kPathUnits, leaf);
  appendBounded(leftMask, kPathUnits, L".*");
  appendBounded(leftMask, kPathUnits, suffix);
  ListedName listed;
  for (bool first = true; nextListedName(folder.handle, leftMask, first, &listed); first = false) {
    if (listed.units >= kPathUnits) {
      continue;
    }
    wmemcpy(leftName, listed.name, listed.units);
    leftName[listed.units] = L'\0';
    if (wcscmp(leftName, partialName) != 0) {
      removePlainFile(folder, leftName);
    }
  }
}

// A file is in use when a rename over it is refused although it may be renamed itself.
bool isInUse(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

// Moves the plain, writable file `leaf` of `folder` aside under a partial name of this start's
// own, when nothing keeps it from being renamed (a running program's image does not). kBusy
// when another process holds it without delete sharing, kStays when it is no such file or
// cannot move.
MoveAside moveAside(const HeldFolder& folder, const wchar_t* leaf, const wchar_t* destination) {
  HANDLE file = openRelative(folder.handle, leaf, wcslen(leaf), kMoveAside);
  if (file == nullptr) {
    return GetLastError() == ERROR_SHARING_VIOLATION ? MoveAside::kBusy : MoveAside::kStays;
  }
  FILE_BASIC_INFO basic;
  bool moved = false;
  if (GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) &&
      (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0 && isPlainFileOf(file, folder, leaf)) {
    for (unsigned name = 0; !moved && name < kMostNamesPerFile; ++name) {
      if (!nextPartialName(leaf, destination, asideName)) {
        break;
      }
      moved = renameRelative(file, folder.handle, asideName, wcslen(asideName),
                             /* replace */ false);
    }
  }
  CloseHandle(file);
  if (moved) {
    noteLeftover();
  }
  return moved ? MoveAside::kMoved : MoveAside::kStays;
}

// What a rename over a file came to.
enum class RenameOver { kDone, kFailed, kBusy };

RenameOver renameOver(HANDLE file, const HeldFolder& folder, const wchar_t* leaf,
                      const wchar_t* destination) {
  const size_t units = wcslen(leaf);
  if (renameRelative(file, folder.handle, leaf, units, /* replace */ true)) {
    return RenameOver::kDone;
  }
  if (!isInUse(GetLastError())) {
    return RenameOver::kFailed;
  }
  switch (moveAside(folder, leaf, destination)) {
    case MoveAside::kMoved:
      return renameRelative(file, folder.handle, leaf, units, /* replace */ true)
                 ? RenameOver::kDone
                 : RenameOver::kFailed;
    case MoveAside::kBusy:
      return RenameOver::kBusy;
    case MoveAside::kStays:
      break;
  }
  return RenameOver::kFailed;
}

// renameOver, again and again while another process holds the file for a while (see
// kMostRetryMilliseconds).
bool renameOverWhenFree(HANDLE file, const HeldFolder& folder, const wchar_t* leaf,
                        const wchar_t* destination) {
  DWORD pause = kFirstRetryMilliseconds;
  for (DWORD waited = 0;; waited += pause, pause = pause * 2 < kLongestRetryPauseMilliseconds
                                                       ? pause * 2
                                                       : kLongestRetryPauseMilliseconds) {
    const RenameOver renamed = renameOver(file, folder, leaf, destination);
    if (renamed != RenameOver::kBusy || waited >= kMostRetryMilliseconds) {
      return renamed == RenameOver::kDone;
    }
    Sleep(pause);
  }
}

}  // namespace

bool nextPartialName(const wchar_t* leaf, const wchar_t* destination, wchar_t* name) {
  wchar_t tag[kTagUnits] = L".";
  wchar_t digits[kNumberUnits];
  formatHex(GetCurrentProcessId(), /* digits at least */ 1, digits);
  appendBounded(tag, kTagUnits, digits);
  appendBounded(tag, kTagUnits, L"-");
  formatHex(nextCounter++, /* digits at least */ 1, digits);
  appendBounded(tag, kTagUnits, digits);
  const wchar_t* suffix = wideSuffix();
  if (wcslen(destination) + wcslen(tag) + wcslen(suffix) >= kPathUnits) {
    return false;
  }
  copyBounded(name, kPathUnits, leaf);
  appendBounded(name, kPathUnits, tag);
  appendBounded(name, kPathUnits, suffix);
  return true;
}

HANDLE createPartialFile(const HeldFolder& folder, const wchar_t* leaf,
                         const wchar_t* destination) {
  for (unsigned name = 0; name < kMostNamesPerFile; ++name) {
    if (!nextPartialName(leaf, destination, partialName)) {
      break;
    }
    HANDLE file = openRelative(folder.handle, partialName, wcslen(partialName), kCreatePartial);
    if (file != nullptr) {
      if (!folder.made) {
        removeLeftPartialFiles(folder, leaf);
      }
      return file;
    }
    if (!isTakenName(GetLastError())) {
      break;
    }
  }
  failOpenForWriting(destination);
}

const wchar_t* lastPartialName() {
  return partialName;
}

bool completePartialFile(HANDLE file, const HeldFolder& folder, const wchar_t* leaf,
                         const wchar_t* partial, const wchar_t* destination) {
  // Wine resolves a created file's name just after it creates it: a link planted at that moment,
  // at the partial name or at a folder above, makes the handle's name, which a rename through
  // the handle moves, something else. The whole path must be the partial file's in this folder.
  if (!isNamedBelow(file, folder.finalPath, partial, wcslen(partial))) {
    CloseHandle(file);
    return false;
  }
  if (!renameOverWhenFree(file, folder, leaf, destination)) {
    markForDeletion(file);
    CloseHandle(file);
    return false;
  }
  bool renamed = namesFile(folder, leaf, file);
  CloseHandle(file);
  return renamed;
}
