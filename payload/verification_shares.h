// How the files an entry table lists are split between the threads that verify them. No system
// calls.
#pragma once

#include <cstddef>
#include <cstdint>

// Threads that verify files at most, the calling one included. Each reads through a buffer of
// its own; beyond a few, the disk and the system's per-file calls are the limit.
constexpr size_t kMaxVerifiers = 4;

// The threads to verify `files` files with `processors` processors to run on: one per
// processor, at most kMaxVerifiers and at most one per file, and always at least one.
size_t verifierCount(uint64_t processors, uint64_t files);

// The share, of `verifiers`, that verifies the file of `size` bytes that starts `offset` bytes
// into the files' data (`totalBytes` in all, the files in table order). The shares are equal
// runs of those bytes and a file goes whole to the share that holds its middle byte, so that
// each share's bytes differ from an equal split by less than the largest file. Every file gets one
// share below `verifiers`, whatever the figures.
size_t shareOfFile(uint64_t offset, uint64_t size, uint64_t totalBytes, size_t verifiers);
