// The payload region taken apart without the launcher's reader: the baselines that the
// launcher's unpacking is measured against.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct StreamEntry {
  std::wstring name;
  const unsigned char* data;  // inside the entry stream it was parsed from
  uint64_t size;
};

// Decompresses the frame of `region` through a window of the launcher's size, appending the
// output to `sink`, or dropping it when `sink` is null. Creates and frees the decoder and the
// window, as the launcher's reader does. Returns the number of bytes decompressed.
uint64_t decompressFrame(const std::string& region, std::string* sink);

// The entries of an entry stream, which must outlive them. Fails the benchmark when the stream
// is malformed.
std::vector<StreamEntry> parseEntries(const std::string& stream);

// The entry table a launcher carries beside the region of `entries`.
std::string entryTableOf(const std::vector<StreamEntry>& entries);
