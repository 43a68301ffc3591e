// Where a launcher's payload lies: the region and, beside it, the entry table.
#pragma once

#include <cstdint>

struct AttachedPayload {
  const unsigned char* region;
  uint64_t regionLength;
  const unsigned char* table;  // may be absent (length 0) or malformed: then it is not used
  uint64_t tableLength;
};
