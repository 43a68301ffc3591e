// The text of unsigned numbers, as the launcher publishes, expands and names with them.
#pragma once

#include <cstddef>
#include <cstdint>

// Units of the decimal or hex text of any 64-bit value and its terminator.
constexpr size_t kNumberUnits = 21;

// Writes `value` in decimal, with zeros in front up to `minDigits` digits (at most
// kNumberUnits - 1), and a NUL into `text`, which has kNumberUnits units.
void formatDecimal(uint64_t value, size_t minDigits, wchar_t* text);

// The same in lower-case hex digits.
void formatHex(uint64_t value, size_t minDigits, wchar_t* text);
