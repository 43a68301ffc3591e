#include "paths/number_text.h"

namespace {

void formatDigits(uint64_t value, unsigned base, size_t minDigits, wchar_t* text) {
  wchar_t reversed[kNumberUnits];
  size_t digits = 0;
  do {
    reversed[digits++] = L"0123456789abcdef"[value % base];
    value /= base;
  } while (value > 0 || digits < minDigits);
  for (size_t i = 0; i < digits; ++i) {
    text[i] = reversed[digits - 1 - i];
  }
  text[digits] = L'\0';
}

}  // namespace

void formatDecimal(uint64_t value, size_t minDigits, wchar_t* text) {
  formatDigits(value, 10, minDigits, text);
}

void formatHex(uint64_t value, size_t minDigits, wchar_t* text) {
  formatDigits(value, 16, minDigits, text);
}
