#include "payload/partial_file.h"

#include <cwchar>

#include "diagnostics/fatal.h"
#include "paths/environment.h"
#include "paths/path_buffer.h"
#include "payload/entry_name.h"

namespace {

constexpr size_t kSuffixUnits = sizeof kPartialFileSuffix;

wchar_t partialPath[kPathUnits];

// The partial file's path; a destination too long to take the suffix cannot be written.
void buildPartialPath(const wchar_t* destination) {
  wchar_t suffix[kSuffixUnits];
  widenAsciiName(kPartialFileSuffix, suffix, kSuffixUnits);
  if (wcslen(destination) + wcslen(suffix) >= kPathUnits) {
    failOpenForWriting(destination);
  }
  copyBounded(partialPath, kPathUnits, destination);
  appendBounded(partialPath, kPathUnits, suffix);
}

}  // namespace

HANDLE createPartialFile(const wchar_t* destination, bool inNewFolder) {
  buildPartialPath(destination);
  // A link under the partial name is removed, not followed, and so is a file left half-written.
  if (!inNewFolder) {
    DeleteFileW(partialPath);
  }
  HANDLE file = CreateFileW(partialPath, GENERIC_WRITE, /* share */ 0, /* security */ nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, /* template */ nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    failOpenForWriting(destination);
  }
  return file;
}

void completePartialFile(HANDLE file, const wchar_t* destination) {
  CloseHandle(file);
  if (!MoveFileExW(partialPath, destination, MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileW(partialPath);
    failOpenForWriting(destination);
  }
}
