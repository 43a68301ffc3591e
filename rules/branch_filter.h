// The executable filter of filtered entries (layout in rules/payload_format.h): in the code
// ranges of an x86-64 program, the 32-bit relative operand of each call, jump, conditional jump
// and RIP-relative indirect call or jump is replaced by the address it leads to, so that the
// many branches to one place read alike and compress together. The packer filters, the launcher
// undoes it chunk by chunk as it decodes. No system calls.
//
// A form is E8 (call), E9 (jmp), 0F 80..8F (jcc), FF 15 or FF 25 (call or jmp [rip + x]), then
// a little-endian rel32 whose top byte is 0x00 or 0xFF: a target within 16 MiB, as code's own
// are. Its operand becomes the target's address (the range's address plus the form's end) modulo
// 2^25, sign-extended from bit 24, so its top byte is again 0x00 or 0xFF and the inverse finds
// the same forms. The scan goes on after a converted operand and one byte after anything else;
// a form that would run past its range's end is left as it is, and so is one that starts before
// the top byte of an operand left as it is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rules/payload_format.h"

// The longest form: two opcode bytes and the operand.
constexpr size_t kMaxBranchFormBytes = 6;

struct FilterRange {
  uint32_t offset;   // in the file
  uint32_t bytes;    // from the offset on
  uint32_t address;  // of the range's first byte when the program is loaded (its RVA)
};

struct FilterRanges {
  uint32_t count;
  FilterRange ranges[kMaxFilterRanges];
};

// Filters the `count` bytes at `bytes`, a whole range at `address`, in place.
void filterBranches(unsigned char* bytes, size_t count, uint32_t address);

// Undoes filterBranches on the whole range of `count` bytes at `bytes`, in place.
void unfilterBranches(unsigned char* bytes, size_t count, uint32_t address);

// The ranges of a filter header's `count` ranges at `fields` (count * kFilterRangeBytes bytes)
// into `ranges`. False unless there are 1 to kMaxFilterRanges of them, each of at least one
// byte, in increasing order without overlap, all within a file of `fileBytes` bytes.
bool readFilterRanges(const unsigned char* fields, uint32_t count, uint64_t fileBytes,
                      FilterRanges* ranges);

// Where the inverse stands in a filtered file, for unfilterChunk.
struct UnfilterCursor {
  const FilterRanges* ranges;
  uint64_t at;     // offset in the file of the next byte passed
  uint32_t next;   // first range not yet passed
  size_t blocked;  // bytes from `at` on where forms stay as they are (0 to start with)
};

// Undoes the filter on `count` bytes of the file at `bytes`, in place: the file's bytes from
// `cursor->at` on. Returns how many of them are final (and moves the cursor past them): all, or
// fewer when a form that may need converting starts within the last kMaxBranchFormBytes - 1 of
// them and runs past them within its range; those bytes are to be passed again, with the bytes
// after them.
size_t unfilterChunk(UnfilterCursor* cursor, unsigned char* bytes, size_t count);
