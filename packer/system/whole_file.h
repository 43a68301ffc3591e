// Files read whole into memory: configurations, icons, regions and launchers.
#pragma once

#include <filesystem>
#include <vector>

// The whole file. Throws PackError when it cannot be read.
std::vector<unsigned char> readWholeFile(const std::filesystem::path& path);
