// One entry's data as the bytes of its file, taken from the payload reader: a filtered entry's
// filter header is read first, and the filter (rules/branch_filter.h) is undone chunk by chunk
// as the bytes come, so that what the caller checks and writes is the file itself.
#pragma once

#include <cstddef>
#include <cstdint>

// Starts on the data of the entry whose size field is `sizeField`, the next bytes of the entry
// stream. A filter header that is unsound ends the process with "Error, couldn't decode
// attached data.".
void beginEntryData(uint64_t sizeField);

// The next bytes of the entry's file, at least one, their number in `*taken`; null once the file
// is complete. They stay valid until the next call of the payload reader. Ends the process like
// the payload reader when the stream ends first.
const unsigned char* nextEntryBytes(size_t* taken);
