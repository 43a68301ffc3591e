// The payload region, defined once for the launcher that reads it and the packer that writes it.
//
// Region:  "VXJ" | one zstd frame (the entry stream) | 0x00 | u64 LE: region length - 8
// Entry:   name (UTF-16LE units, none 0, then one 0 unit) | u64 LE size | u32 LE stored checksum
//          | size data bytes
// Stream:  entries, the main program first, then a single 0 unit as terminator.
//
// A filtered entry, one whose size field has kFilteredEntryFlag set, holds an x86-64 program
// whose code ranges went through the executable filter (rules/branch_filter.h). The field's
// other bits give the file's size, and its data is the filter header, then that many bytes of
// the filtered file:
//
// Filter header:  u32 LE range count n (1 to kMaxFilterRanges) | n ranges
// Range:          u32 LE offset in the file | u32 LE bytes | u32 LE address when loaded (RVA)
//
// Ranges lie within the file, in increasing order without overlap; bytes outside them are the
// file's own. The stored checksum is the file's, of the bytes with the filter undone. Regions
// without filtered entries are the layout earlier launchers read; those launchers refuse the
// flagged size of a filtered entry as undecodable data.
//
// Names are relative paths with backslashes, at most kMaxNameUnits units. The stored checksum
// is zlib's crc32 (initial value 0) of the data with 0 written as 1, because the launcher uses
// 0 for "no usable file on disk".
//
// Beside the region the launcher carries the entry table: every entry's name, size and stored
// checksum, in region order, so that a start whose files are all in place can tell so without
// decompressing anything.
//
// Table:        "VXT" | u32 LE entry count | table entries | u32 LE crc32 of every byte before it
// Table entry:  u16 LE name units n | n UTF-16LE units | u64 LE size | u32 LE stored checksum
//
// A table entry's size field is its region entry's, with kFilteredEntryFlag set alike.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr unsigned char kPayloadMagic[] = {'V', 'X', 'J'};
constexpr size_t kPayloadMagicBytes = sizeof kPayloadMagic;

// After the frame: one 0x00 byte, then the u64 count of the region bytes before that field.
constexpr unsigned char kTrailerPadByte = 0x00;
constexpr size_t kTrailerPadBytes = 1;
constexpr size_t kTrailerLengthBytes = 8;
constexpr size_t kTrailerBytes = kTrailerPadBytes + kTrailerLengthBytes;
constexpr size_t kRegionOverheadBytes = kPayloadMagicBytes + kTrailerBytes;

// Entry fields, all little-endian.
constexpr size_t kNameUnitBytes = 2;
constexpr size_t kSizeFieldBytes = 8;
constexpr size_t kChecksumFieldBytes = 4;
constexpr uint16_t kNameTerminator = 0;

// A name holds at most 1023 units; the launcher's name buffer adds the terminating unit.
constexpr size_t kNameBufferUnits = 1024;
constexpr size_t kMaxNameUnits = kNameBufferUnits - 1;

// Every file stays below 0xFFFFFFFF bytes, the range the format has promised since the first
// launchers, which compared files on disk by their 32-bit size with 0xFFFFFFFF for "no size".
// Launchers now compare 64-bit sizes; the packer keeps to the limit so that every region stays
// within that promise.
constexpr uint64_t kMaxFileBytes = 0xFFFFFFFEull;

// Filtered entries: the flag in the size field and the filter header.
constexpr uint64_t kFilteredEntryFlag = uint64_t{1} << 63;
constexpr size_t kFilterCountBytes = 4;
constexpr size_t kFilterRangeFieldBytes = 4;
constexpr size_t kFilterRangeBytes = 3 * kFilterRangeFieldBytes;
// A program's code sections, at most this many of them (programs have one or two).
constexpr uint32_t kMaxFilterRanges = 16;

// The file size an entry's size field gives, and whether it marks a filtered entry.
constexpr uint64_t entryFileBytes(uint64_t sizeField) {
  return sizeField & ~kFilteredEntryFlag;
}
constexpr bool isFilteredEntry(uint64_t sizeField) {
  return (sizeField & kFilteredEntryFlag) != 0;
}
constexpr uint64_t entrySizeField(uint64_t fileBytes, bool filtered) {
  return filtered ? fileBytes | kFilteredEntryFlag : fileBytes;
}
// The bytes of a filter header of `ranges` ranges.
constexpr size_t filterHeaderBytes(uint32_t ranges) {
  return kFilterCountBytes + ranges * kFilterRangeBytes;
}

// Entry table fields, all little-endian.
constexpr unsigned char kTableMagic[] = {'V', 'X', 'T'};
constexpr size_t kTableMagicBytes = sizeof kTableMagic;
constexpr size_t kTableCountBytes = 4;
constexpr size_t kTableNameLengthBytes = 2;
constexpr size_t kTableChecksumBytes = 4;
constexpr size_t kTableHeaderBytes = kTableMagicBytes + kTableCountBytes;
constexpr size_t kTableEntryFixedBytes =
    kTableNameLengthBytes + kSizeFieldBytes + kChecksumFieldBytes;

// The frame as the packer writes it: no content size, no checksum, no dictionary. Its header is
// then six bytes: the frame magic, the descriptor 0x00 and the window descriptor, which declares
// a window of 2^log bytes as (log - 10) << 3. The launcher decodes at zstd's default limit, a
// window of at most 2^27 + 1 bytes, and the decoder holds about the declared window while it
// runs. So the packer declares what its frame needs, from 2^10 (0x00) to 2^27 (0x88); earlier
// packers always declared 2^27.
constexpr unsigned char kFrameMagic[] = {0x28, 0xB5, 0x2F, 0xFD};
constexpr size_t kFrameMagicBytes = sizeof kFrameMagic;
constexpr unsigned char kFrameDescriptor = 0x00;
constexpr size_t kFrameHeaderBytes = kFrameMagicBytes + 2;
constexpr int kMinFrameWindowLog = 10;
constexpr int kMaxFrameWindowLog = 27;

// The window descriptor byte of a window of 2^`windowLog` bytes.
constexpr unsigned char frameWindowDescriptor(int windowLog) {
  return static_cast<unsigned char>((windowLog - kMinFrameWindowLog) << 3);
}

// The stored checksum for data whose crc32 is `crc`.
constexpr uint32_t storedChecksum(uint32_t crc) {
  return crc == 0 ? 1 : crc;
}

// Region length for a frame of `frameBytes`, and the value of its trailing u64.
constexpr uint64_t regionLength(uint64_t frameBytes) {
  return frameBytes + kRegionOverheadBytes;
}
constexpr uint64_t trailerLengthValue(uint64_t frameBytes) {
  return kPayloadMagicBytes + frameBytes + kTrailerPadBytes;
}

static_assert(kRegionOverheadBytes == 12, "region = frame + 12 bytes");
static_assert(trailerLengthValue(10758756) == regionLength(10758756) - kTrailerLengthBytes,
              "the trailing u64 counts every region byte before it");
static_assert(frameWindowDescriptor(kMinFrameWindowLog) == 0x00 &&
                  frameWindowDescriptor(kMaxFrameWindowLog) == 0x88,
              "window descriptors of 2^10 and 2^27 bytes");
static_assert(kMaxNameUnits == 1023, "names of at most 1023 units");
static_assert(kMaxFileBytes < kFilteredEntryFlag && entryFileBytes(kFilteredEntryFlag | 7) == 7,
              "the flag lies above every file size");
static_assert(filterHeaderBytes(1) == 16, "a filter header of one range");
static_assert(kMaxNameUnits < (1u << (8 * kTableNameLengthBytes)), "a table name length fits");
// Both sides read each field as the unsigned integer of its size.
static_assert(sizeof(uint16_t) == kNameUnitBytes && sizeof(uint64_t) == kSizeFieldBytes &&
                  sizeof(uint32_t) == kChecksumFieldBytes &&
                  sizeof(uint16_t) == kTableNameLengthBytes &&
                  sizeof(uint32_t) == kTableCountBytes && sizeof(uint32_t) == kTableChecksumBytes,
              "field sizes");
