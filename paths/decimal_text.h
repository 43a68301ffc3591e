// Decimal text of unsigned numbers, as the launcher publishes and expands them.
#pragma once

#include <cstddef>
#include <cstdint>

// Units of the decimal text of any 64-bit value and its terminator.
constexpr size_t kDecimalUnits = 21;

// Writes `value` in decimal, with zeros in front up to `minDigits` digits (at most
// kDecimalUnits - 1), and a NUL into `text`, which has kDecimalUnits units.
void formatDecimal(uint64_t value, size_t minDigits, wchar_t* text);
