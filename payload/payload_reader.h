// The forward-only reader of the entry stream: decompresses the payload region's frame on
// demand and hands out its bytes in order. One reader per process; every failure ends the
// process with a fixed message and exit status 2.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes of the output window, the largest block a frame can hold.
constexpr size_t kWindowBytes = 131072;

// Opens the reader on the region compiled into the launcher.
void openPayload();

// Opens the reader on `region` of `length` bytes: tests the magic ("Error, couldn't find
// attached data header."), allocates the window and the decoder ("Error, couldn't allocate
// memory.") and points the decoder's input at the frame.
void openPayloadRegion(const unsigned char* region, uint64_t length);

// Copies the next `count` bytes of the entry stream to `destination`. A decoder error, or bytes
// wanted after the input is used up, ends the process with "Error, couldn't decode attached
// data.".
void readPayloadBytes(void* destination, uint64_t count);

// Frees the decoder and the window.
void closePayload();
