// The forward-only reader of the entry stream. A thread of its own decompresses the payload
// region's frame into a bounded queue while the caller takes the bytes out in order, so that
// decoding goes on while the caller writes files. One reader per process. The decoder thread
// never reports anything: what it meets reaches the caller's reads, and every failure ends the
// process on the caller's thread with a fixed message and exit status 2. Whatever ends the
// process through exit() while the decoder runs stops the decoder thread first.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes the decoder may run ahead of the caller: enough to ride over the caller's bursts of
// file creation, small enough that the bytes are still in the processor's cache when the caller
// writes them (a queue of 8 MiB made first starts about a tenth slower than one of 1 or 2 MiB).
constexpr size_t kQueueBytes = size_t{2} << 20;
// Most bytes one decoder call produces: the largest block a frame can hold.
constexpr size_t kDecodeStepBytes = 131072;

// Ends the process with "Error, couldn't find attached data header." unless `region` of
// `length` bytes starts with the payload magic.
void checkPayloadHeader(const unsigned char* region, uint64_t length);

// Opens the reader on `region` of `length` bytes: checks the header, allocates the queue and
// the decoder ("Error, couldn't allocate memory.", also when the decoder thread cannot start)
// and starts decoding the frame after the magic.
void openPayload(const unsigned char* region, uint64_t length);

// Copies the next `count` bytes of the entry stream to `destination`. A decoder error, or bytes
// wanted after the frame's content, ends the process with "Error, couldn't decode attached
// data.".
void readPayloadBytes(void* destination, uint64_t count);

// The next bytes of the entry stream in place, at least one and at most `count` (> 0), their
// number in `*taken`; they stay valid until the next call of the reader. Ends the process like
// readPayloadBytes when no byte is left.
const unsigned char* takePayloadBytes(uint64_t count, size_t* taken);

// Stops the decoder thread and frees the decoder and the queue.
void closePayload();
