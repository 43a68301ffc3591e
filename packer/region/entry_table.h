// The entry table a launcher carries beside its region (layout in rules/payload_format.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "packer/region/region_reader.h"

// The table of `entries`, in their order.
std::string entryTableBytes(const std::vector<RegionEntry>& entries);

// Throws PackError, naming the table as `whose` says, unless `table` (`length` bytes) is sound and
// lists `entries` as they are, in their order: a launcher whose files are in place trusts its
// table without looking at the region.
void checkTableListsEntries(const unsigned char* table, size_t length,
                            const std::vector<RegionEntry>& entries, const std::string& whose);

// The table of a verified region, checked against it entry by entry: a table that does not say
// what the region holds is never placed in a launcher. Throws PackError.
std::string entryTableOf(const Region& region);
