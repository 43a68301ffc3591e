// The record a start leaves in its target directory: whose copy the folder holds (the company,
// product and target spec of the launcher that wrote it) and which files that launcher put
// there (its entry table). Later starts tell by it the folders of the application's other
// versions and copies from anything else beside their target: they link files only from those,
// and remove only those, and of them only the files the record names.
//
// Record:  "TARNICR1" | u32 LE flags | for the company, the product and the target spec in turn:
//          u16 LE units n, n UTF-16LE units | u32 LE bytes t | t bytes: an entry table
//          (rules/payload_format.h) | u32 LE crc32 of every byte before it
#pragma once

#include <windows.h>

#include <cstdint>

#include "rules/entry_table_reader.h"

// Ends in the partial files' suffix, which no entry's name may: it is the launcher's own.
constexpr wchar_t kCopyRecordName[] = L"record.tarnic-partial";
constexpr size_t kCopyRecordNameUnits = sizeof kCopyRecordName / sizeof(wchar_t) - 1;

// Flags of a record.
constexpr uint32_t kCopyForOneStart = 1;  // its launcher removes the copy when its program ends

// A record as it was read.
struct CopyRecord {
  uint32_t flags;
  int64_t writeTime;  // when it was last written, as the file system keeps it
  TableCursor names;  // the entries whose files the copy holds
};

// Writes the record of this launcher's copy, with `flags` and the entry table `table`
// (`tableLength` bytes), into the held target directory: under a partial name of its own, then
// renamed over the record's name. Silent when it cannot: the copy is then unknown to later
// starts, as copies of earlier launchers are.
void writeCopyRecord(const unsigned char* table, uint64_t tableLength, uint32_t flags);

// Reads the record in the folder open as `folder`, whose final path is `folderFinalPath`: true
// when it is a plain file of that folder (no link) holding a sound record of this launcher's
// application (the same company, product and target spec). `*record` then stays valid until
// the next call.
bool readCopyRecord(HANDLE folder, const wchar_t* folderFinalPath, CopyRecord* record);
