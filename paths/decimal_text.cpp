#include "paths/decimal_text.h"

void formatDecimal(uint64_t value, size_t minDigits, wchar_t* text) {
  wchar_t reversed[kDecimalUnits];
  size_t digits = 0;
  do {
    reversed[digits++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value > 0 || digits < minDigits);
  for (size_t i = 0; i < digits; ++i) {
    text[i] = reversed[digits - 1 - i];
  }
  text[digits] = L'\0';
}
