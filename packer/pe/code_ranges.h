// Where the executable filter applies in a file: the code sections of an x86-64 program.
#pragma once

#include <cstddef>

#include "rules/branch_filter.h"

// The code sections of the x86-64 program image whose `size` bytes are at `bytes`, as filter
// ranges: each section that holds code or is executable, with its bytes in the file (the
// section's raw data, cut at the file's end) and its address. The first kMaxFilterRanges such
// sections, in file order, overlapping ones left out. None (count 0) for any other file, an
// image of another machine, or one whose headers do not read.
FilterRanges codeRanges(const unsigned char* bytes, size_t size);
