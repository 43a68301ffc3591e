#include "payload/sibling_folders.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "configuration/launcher_values.h"
#include "paths/case_folding.h"
#include "paths/expand_spec.h"
#include "paths/path_buffer.h"
#include "paths/path_parts.h"
#include "payload/copy_record.h"
#include "payload/relative_files.h"
#include "rules/spec_tokens.h"

namespace {

// A folder the listing showed: where its name lies in `names`, and its time.
struct Listed {
  size_t nameAt;
  size_t units;
  int64_t lastWriteTime;
  bool isTarget;
};

// A folder found to hold a copy.
struct Sibling {
  HANDLE folder;
  wchar_t* path;
  wchar_t* finalPath;
  uint32_t flags;
  int64_t recordTime;
  bool isTarget;
};

Listed* listed;
size_t listedCount;
size_t listedCapacity;
wchar_t* names;
size_t namesUsed;
size_t namesCapacity;

Sibling* siblings;
size_t siblingCount;
size_t siblingCapacity;

wchar_t parentPath[kPathUnits];
wchar_t parentFinalPath[kFinalPathUnits];
wchar_t folderName[kPathUnits];
wchar_t folderFinalPath[kFinalPathUnits];
wchar_t folderPath[kPathUnits];
wchar_t nameMask[kPathUnits];
wchar_t tokenValue[kPathUnits];

const RelativeOpen kLookIntoFolder{kFolderAccess, kAnySharing, FILE_OPEN, FILE_DIRECTORY_FILE};

// Splits the target directory into the folder above it (parentPath) and its own name; false
// when it has no folder above.
bool splitTarget(const wchar_t* target, const wchar_t** leaf, size_t* leafUnits) {
  size_t units = wcslen(target);
  while (units > rootUnits(target, units) + 1 && target[units - 1] == L'\\') {
    --units;
  }
  const size_t above = folderAboveUnits(target, units);
  if (above == 0 || above >= kPathUnits) {
    return false;
  }
  const size_t start = lastComponentStart(target, units);
  *leaf = target + start;
  *leafUnits = units - start;
  wmemcpy(parentPath, target, above);
  parentPath[above] = L'\0';
  return true;
}

// Whether the token's value may differ between copies of one application: another version's, or
// another start's.
bool differsBetweenCopies(const SpecTokenName& token) {
  return token.perStart || token.token == SpecToken::kPid || token.token == SpecToken::kVersion ||
         token.token == SpecToken::kFileVersion || token.token == SpecToken::kProductVersion;
}

// Appends `text` (`units` long) to nameMask at `*at`; false when it does not fit.
bool appendToMask(size_t* at, const wchar_t* text, size_t units) {
  if (*at + units >= kPathUnits) {
    return false;
  }
  wmemcpy(nameMask + *at, text, units);
  *at += units;
  nameMask[*at] = L'\0';
  return true;
}

// The names that copies of this application beside the target directory may have, as a listing's
// mask, into nameMask: the target spec's last component, with "*" for each token whose value may
// differ between copies and the value of every other; null when that cannot be told (every name
// may be one), so that a start beside a folder of thousands of other names reads none of them.
const wchar_t* copyNameMask() {
  const wchar_t* spec = targetSpec();
  const size_t units = wcslen(spec);
  size_t last = 0;
  walkSpec(spec, units, [&](const SpecPart& part) {
    for (size_t i = part.start; part.kind == SpecPartKind::kLiteral && i < part.start + part.units;
         ++i) {
      last = spec[i] == L'\\' ? i + 1 : last;
    }
    return true;
  });
  size_t at = 0;
  bool sound = true;
  nameMask[0] = L'\0';
  walkSpec(spec + last, units - last, [&](const SpecPart& part) {
    const wchar_t* text = spec + last + part.start;
    if (part.kind == SpecPartKind::kLiteral) {
      sound = appendToMask(&at, text, part.units);
    } else if (part.kind != SpecPartKind::kName || part.token == nullptr || part.token->fullPath) {
      sound = false;
    } else if (differsBetweenCopies(*part.token)) {
      sound = (at > 0 && nameMask[at - 1] == L'*') || appendToMask(&at, L"*", 1);
    } else {
      wchar_t name[kPathUnits];
      sound = part.units < kPathUnits;
      if (sound) {
        wmemcpy(name, text, part.units);
        name[part.units] = L'\0';
        sound = expandSpec(tokenValue, name, kPathUnits) && wcschr(tokenValue, L'\\') == nullptr &&
                appendToMask(&at, tokenValue, wcslen(tokenValue));
      }
    }
    return sound;
  });
  return sound && at > 0 && wcscmp(nameMask, L"*") != 0 ? nameMask : nullptr;
}

bool isFolderToLookAt(const ListedName& entry) {
  const bool dots = (entry.units == 1 && entry.name[0] == L'.') ||
                    (entry.units == 2 && entry.name[0] == L'.' && entry.name[1] == L'.');
  return (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && !dots &&
         entry.units < kPathUnits;
}

// Grows `*block` of `*capacity` elements of `size` bytes to hold `needed`; false when it cannot.
bool makeRoom(void** block, size_t* capacity, size_t needed, size_t size) {
  if (needed <= *capacity) {
    return true;
  }
  size_t grown = *capacity == 0 ? 64 : *capacity;
  while (grown < needed) {
    grown *= 2;
  }
  void* bigger = realloc(*block, grown * size);
  if (bigger == nullptr) {
    return false;
  }
  *block = bigger;
  *capacity = grown;
  return true;
}

void keepListed(const ListedName& entry, bool isTarget) {
  if (!makeRoom(reinterpret_cast<void**>(&listed), &listedCapacity, listedCount + 1,
                sizeof(Listed)) ||
      !makeRoom(reinterpret_cast<void**>(&names), &namesCapacity, namesUsed + entry.units,
                sizeof(wchar_t))) {
    return;
  }
  wmemcpy(names + namesUsed, entry.name, entry.units);
  listed[listedCount++] = Listed{namesUsed, entry.units, entry.lastWriteTime, isTarget};
  namesUsed += entry.units;
}

int laterFirst(const void* a, const void* b) {
  const int64_t timeA = static_cast<const Listed*>(a)->lastWriteTime;
  const int64_t timeB = static_cast<const Listed*>(b)->lastWriteTime;
  return timeA > timeB ? -1 : timeA < timeB ? 1 : 0;
}

wchar_t* copyOf(const wchar_t* text) {
  const size_t units = wcslen(text);
  auto* copy = static_cast<wchar_t*>(malloc((units + 1) * sizeof(wchar_t)));
  if (copy != nullptr) {
    wmemcpy(copy, text, units + 1);
  }
  return copy;
}

// Keeps the folder of `entry` when it is a plain folder of the parent, reached through no link,
// holding a record of this application; the latest record first. There is room for it.
void keepIfCopy(HANDLE parent, const Listed& entry) {
  wmemcpy(folderName, names + entry.nameAt, entry.units);
  folderName[entry.units] = L'\0';
  HANDLE folder = openRelative(parent, folderName, entry.units, kLookIntoFolder);
  if (folder == nullptr) {
    return;
  }
  CopyRecord record;
  const bool copy = isPlainEntry(folder, /* folder */ true) &&
                    readFinalPath(folder, folderFinalPath) &&
                    isFinalPathBelow(folderFinalPath, parentFinalPath, folderName, entry.units) &&
                    joinPath(folderPath, kPathUnits, parentPath, folderName) &&
                    readCopyRecord(folder, folderFinalPath, &record);
  Sibling sibling{folder,       copyOf(folderPath), copyOf(folderFinalPath),
                  record.flags, record.writeTime,   entry.isTarget};
  if (!copy || sibling.path == nullptr || sibling.finalPath == nullptr) {
    CloseHandle(folder);
    free(sibling.path);
    free(sibling.finalPath);
    return;
  }
  size_t at = siblingCount;
  while (at > 0 && siblings[at - 1].recordTime < sibling.recordTime) {
    siblings[at] = siblings[at - 1];
    --at;
  }
  siblings[at] = sibling;
  ++siblingCount;
}

void forgetSiblings() {
  releaseSiblingCopies();
  for (size_t i = 0; i < siblingCount; ++i) {
    free(siblings[i].path);
    free(siblings[i].finalPath);
  }
  siblingCount = 0;
  listedCount = 0;
  namesUsed = 0;
}

}  // namespace

size_t findSiblingCopies(const wchar_t* targetDirectory, size_t mostFolders, bool withTarget) {
  forgetSiblings();
  const wchar_t* leaf = nullptr;
  size_t leafUnits = 0;
  if (!splitTarget(targetDirectory, &leaf, &leafUnits)) {
    return 0;
  }
  HANDLE parent = CreateFileW(parentPath, kFolderAccess, kAnySharing, /* security */ nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, /* template */ nullptr);
  if (parent == INVALID_HANDLE_VALUE) {
    return 0;
  }
  if (readFinalPath(parent, parentFinalPath)) {
    // A drive's root comes with its backslash; every other folder without.
    size_t units = wcslen(parentFinalPath);
    if (units > 0 && parentFinalPath[units - 1] == L'\\') {
      parentFinalPath[units - 1] = L'\0';
    }
    ListedName entry;
    const wchar_t* mask = copyNameMask();
    for (bool first = true; nextListedName(parent, mask, first, &entry); first = false) {
      const bool isTarget =
          entry.units == leafUnits && equalIgnoringCase(entry.name, leaf, leafUnits);
      if (isFolderToLookAt(entry) && (withTarget || !isTarget)) {
        keepListed(entry, isTarget);
      }
    }
    qsort(listed, listedCount, sizeof(Listed), laterFirst);
    const size_t looked = listedCount < mostFolders ? listedCount : mostFolders;
    if (makeRoom(reinterpret_cast<void**>(&siblings), &siblingCapacity, looked, sizeof(Sibling))) {
      for (size_t i = 0; i < looked; ++i) {
        keepIfCopy(parent, listed[i]);
      }
    }
  }
  CloseHandle(parent);
  return siblingCount;
}

HANDLE siblingCopyFolder(size_t index) {
  return siblings[index].folder;
}

void releaseSiblingCopies() {
  for (size_t i = 0; i < siblingCount; ++i) {
    if (siblings[i].folder != nullptr) {
      CloseHandle(siblings[i].folder);
      siblings[i].folder = nullptr;
    }
  }
}

const wchar_t* siblingCopyPath(size_t index) {
  return siblings[index].path;
}

const wchar_t* siblingCopyFinalPath(size_t index) {
  return siblings[index].finalPath;
}

uint32_t siblingCopyFlags(size_t index) {
  return siblings[index].flags;
}

bool isTargetCopy(size_t index) {
  return siblings[index].isTarget;
}
