#include "payload/sibling_links.h"

#include <cwchar>

#include "paths/path_buffer.h"
#include "payload/held_folders.h"
#include "payload/relative_files.h"

namespace {

// The candidate is read with writers kept out, so that what is linked is what was read.
const RelativeOpen kCandidate{GENERIC_READ | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, FILE_OPEN,
                              FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY};
const RelativeOpen kIdentifyLink{FILE_READ_ATTRIBUTES, kAnySharing, FILE_OPEN,
                                 FILE_NON_DIRECTORY_FILE};
const RelativeOpen kRemoveStrayLink{DELETE | FILE_READ_ATTRIBUTES, kAnySharing, FILE_OPEN,
                                    FILE_NON_DIRECTORY_FILE};

bool isSameFile(HANDLE file, HANDLE other) {
  uint64_t index = 0;
  uint64_t otherIndex = 0;
  return readFileIndex(file, &index) && readFileIndex(other, &otherIndex) && index == otherIndex;
}

// Whether the candidate open as `file` is a plain file named `name` below the sibling whose
// final path is `siblingFinalPath`, reached through no link, and holds the entry. Its size is
// asked first, so that a file of another version that differs in size is not read at all.
bool isSoundCandidate(HANDLE file, const wchar_t* siblingFinalPath, const wchar_t* name,
                      size_t units, const TableEntry& entry, ReadBuffers& buffers) {
  LARGE_INTEGER size;
  return GetFileSizeEx(file, &size) && static_cast<uint64_t>(size.QuadPart) == entry.size &&
         isPlainEntry(file, /* folder */ false) && readFinalPath(file, buffers.finalPath) &&
         isFinalPathBelow(buffers.finalPath, siblingFinalPath, name, units) &&
         openFileHoldsEntry(file, entry.size, entry.storedChecksum, buffers.bytes);
}

// Whether the link just made for `candidate` as `leaf` (`units` long) lies in `folder`, the held
// folder itself. A link is made by path under Wine, so a folder swapped for a link meanwhile
// puts it elsewhere: then that name, a second name of the candidate's file that nothing had
// before (a link never replaces), is taken away again, found by the same path.
bool isLinkedInFolder(HANDLE candidate, const HeldFolder& folder, const wchar_t* leaf, size_t units,
                      ReadBuffers& buffers) {
  HANDLE linked = openRelative(folder.handle, leaf, units, kIdentifyLink);
  const bool inFolder = linked != nullptr && isSameFile(candidate, linked);
  if (linked != nullptr) {
    CloseHandle(linked);
  }
  if (inFolder || !joinPath(buffers.path, kPathUnits, folder.finalPath, leaf)) {
    return inFolder;
  }
  HANDLE stray =
      openRelative(/* folder */ nullptr, buffers.path, wcslen(buffers.path), kRemoveStrayLink);
  if (stray != nullptr) {
    if (isSameFile(candidate, stray)) {
      markForDeletion(stray);
    }
    CloseHandle(stray);
  }
  return false;
}

// Whether `folder` is in place, looked at only when the run's last link went elsewhere.
bool isInPlaceForRun(const HeldFolder& folder, LinkRun& run) {
  if (run.folderInPlace != &folder) {
    run.folderInPlace = isHeldFolderInPlace(folder) ? &folder : nullptr;
  }
  return run.folderInPlace == &folder;
}

}  // namespace

FileState linkFromSibling(HANDLE sibling, const wchar_t* siblingFinalPath, const wchar_t* name,
                          size_t units, const TableEntry& entry, ReadBuffers& buffers,
                          LinkRun& run) {
  HANDLE candidate = openRelative(sibling, name, units, kCandidate);
  if (candidate == nullptr) {
    return FileState::kMissing;
  }
  const HeldFolder* folder = heldEntryFolder(name);
  const wchar_t* leaf = entryLeaf(name);
  const size_t leafUnits = units - static_cast<size_t>(leaf - name);
  const bool linked = folder != nullptr &&
                      isSoundCandidate(candidate, siblingFinalPath, name, units, entry, buffers) &&
                      isInPlaceForRun(*folder, run) &&
                      linkRelative(candidate, folder->handle, leaf, leafUnits) &&
                      isLinkedInFolder(candidate, *folder, leaf, leafUnits, buffers);
  CloseHandle(candidate);
  return linked ? FileState::kInPlace : FileState::kMissing;
}
