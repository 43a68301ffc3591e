// The values that a spec's RANDOM, TIME_US and TIME tokens stand for. They are made once per
// run and published in the environment, so that later expansions and the child see the same.
#pragma once

#include <cstddef>
#include <cstdint>

#include "paths/number_text.h"

// Characters of a random tag: eight bytes in unpadded URL-safe Base 64.
constexpr size_t kRandomTagChars = 11;
// Room for any of the three texts and its terminator.
constexpr size_t kPublishedValueUnits = 32;
static_assert(kPublishedValueUnits >= kNumberUnits, "the times are decimal texts");

// The environment variables through which a start publishes its values: to the expansions
// that come after, and to the child.
constexpr char kParentVariable[] = "TARNIC_ONEFILE_PARENT";
constexpr char kRandomVariable[] = "TARNIC_ONEFILE_RANDOM";
constexpr char kTimeUsVariable[] = "TARNIC_ONEFILE_TIME_US";
constexpr char kStartVariable[] = "TARNIC_ONEFILE_START";
constexpr char kDirectoryVariable[] = "TARNIC_ONEFILE_DIRECTORY";
constexpr char kTargetVariable[] = "TARNIC_ONEFILE_TARGET";
constexpr char kOriginalArgv0Variable[] = "TARNIC_ORIGINAL_ARGV0";

// The seed of the random tag: both halves of the performance counter, the process id and both
// halves of an address, combined by XOR; never 0, which would make the generator stick.
uint32_t randomTagSeed(uint64_t counter, uint32_t processId, uint64_t address);

// The random tag for `seed`: eight 32-bit xorshift steps, the low byte of each step in turn,
// encoded as kRandomTagChars characters followed by a NUL.
void encodeRandomTag(uint32_t seed, wchar_t* tag);

// The microseconds past the whole second of a FILETIME count, as six digits and a NUL.
void formatTimeUs(int64_t fileTime, wchar_t* text);
// The FILETIME count itself in decimal, and a NUL.
void formatStartTime(int64_t fileTime, wchar_t* text);

// New values read from the system clocks, written to `text` (kPublishedValueUnits units).
void makeRandomTag(wchar_t* text);
void makeTimeUs(wchar_t* text);
void makeStartTime(wchar_t* text);
