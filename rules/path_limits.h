// The size of a Windows path as the launcher holds one: the bound the packer checks target
// specs, strings that tokens expand to and fixed arguments against.
#pragma once

#include <cstddef>

// Units of every path buffer, terminating NUL included.
constexpr size_t kPathUnits = 4096;
