// Little-endian integers, as every format of the project stores them: the payload region and
// its entry table, the launcher image descriptor, icon files and PE images.
#pragma once

#include <cstddef>
#include <string>

// Appends the sizeof(Unsigned) bytes of `value`, least significant first.
template <typename Unsigned>
void appendLittleEndian(std::string& out, Unsigned value) {
  for (size_t i = 0; i < sizeof value; ++i) {
    out += static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

// The value stored in the sizeof(Unsigned) bytes at `bytes`.
template <typename Unsigned>
Unsigned readLittleEndian(const unsigned char* bytes) {
  Unsigned value = 0;
  for (size_t i = sizeof value; i-- > 0;) {
    value = static_cast<Unsigned>((value << 8) | bytes[i]);
  }
  return value;
}

// Stores the sizeof(Unsigned) bytes of `value` at `bytes`, least significant first.
template <typename Unsigned>
void storeLittleEndian(unsigned char* bytes, Unsigned value) {
  for (size_t i = 0; i < sizeof value; ++i) {
    bytes[i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFF);
  }
}
