// Little-endian integers, as every format of the project stores them: the payload region and
// its entry table, the launcher image descriptor, icon files and PE images. Bytes are held in a
// std::string or a std::vector of bytes.
#pragma once

#include <cstddef>

// Appends the sizeof(Unsigned) bytes of `value` to `out`, least significant first.
template <typename Unsigned, typename Bytes>
void appendLittleEndian(Bytes& out, Unsigned value) {
  for (size_t i = 0; i < sizeof value; ++i) {
    out.push_back(static_cast<typename Bytes::value_type>((value >> (8 * i)) & 0xFF));
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

// Stores the sizeof(Unsigned) bytes of `value` over those at offset `at` of `out`, least
// significant first.
template <typename Unsigned, typename Bytes>
void storeLittleEndian(Bytes& out, size_t at, Unsigned value) {
  for (size_t i = 0; i < sizeof value; ++i) {
    out[at + i] = static_cast<typename Bytes::value_type>((value >> (8 * i)) & 0xFF);
  }
}
