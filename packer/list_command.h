// The `list` command: a region file or launcher verified, and its entries listed.
#pragma once

#include <filesystem>

// Verifies the region of `path` (readRegionFile) and prints one line per entry to standard
// output: its size, stored checksum and name. Throws PackError naming the first problem.
void listRegion(const std::filesystem::path& path);
