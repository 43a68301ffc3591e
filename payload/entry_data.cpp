#include "payload/entry_data.h"

#include <cstring>

#include "diagnostics/fatal.h"
#include "payload/payload_reader.h"
#include "rules/branch_filter.h"
#include "rules/little_endian.h"
#include "rules/payload_format.h"

namespace {

uint64_t remaining;  // bytes of the file still in the entry stream
bool filtered;
FilterRanges ranges;
UnfilterCursor cursor;
unsigned char rangeFields[kMaxFilterRanges * kFilterRangeBytes];

// A form that ran past the end of a chunk: its bytes from heldAt to heldEnd, completed from the
// stream before they are passed on.
unsigned char held[kMaxBranchFormBytes];
size_t heldAt;
size_t heldEnd;

// The held bytes, completed from the stream and unfiltered: at least the form's first byte is
// final then, since the held bytes reach its end or the file's.
const unsigned char* nextHeldBytes(size_t* taken) {
  memmove(held, held + heldAt, heldEnd - heldAt);
  heldEnd -= heldAt;
  const size_t room = kMaxBranchFormBytes - heldEnd;
  const size_t more = remaining < room ? static_cast<size_t>(remaining) : room;
  readPayloadBytes(held + heldEnd, more);
  remaining -= more;
  heldEnd += more;
  heldAt = *taken = unfilterChunk(&cursor, held, heldEnd);
  return held;
}

}  // namespace

void beginEntryData(uint64_t sizeField) {
  remaining = entryFileBytes(sizeField);
  filtered = isFilteredEntry(sizeField);
  heldAt = heldEnd = 0;
  if (!filtered) {
    return;
  }
  unsigned char count[kFilterCountBytes];
  readPayloadBytes(count, sizeof count);
  const uint32_t rangeCount = readLittleEndian<uint32_t>(count);
  if (rangeCount == 0 || rangeCount > kMaxFilterRanges) {
    failDecode();
  }
  readPayloadBytes(rangeFields, rangeCount * kFilterRangeBytes);
  if (!readFilterRanges(rangeFields, rangeCount, remaining, &ranges)) {
    failDecode();
  }
  cursor = UnfilterCursor{&ranges, 0, 0, 0};
}

const unsigned char* nextEntryBytes(size_t* taken) {
  if (heldAt < heldEnd) {
    return nextHeldBytes(taken);
  }
  if (remaining == 0) {
    return nullptr;
  }
  unsigned char* bytes = takePayloadBytes(remaining, taken);
  remaining -= *taken;
  if (!filtered) {
    return bytes;
  }
  const size_t settled = unfilterChunk(&cursor, bytes, *taken);
  heldAt = 0;
  heldEnd = *taken - settled;
  memcpy(held, bytes + settled, heldEnd);
  if (settled == 0) {
    return nextHeldBytes(taken);
  }
  *taken = settled;
  return bytes;
}
