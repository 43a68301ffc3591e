// The .ico container: a directory of images, here PNG files, one per size.
#pragma once

#include <cstdint>
#include <vector>

struct IconImage {
  int size = 0;              // pixels square, 1 to 256
  std::vector<uint8_t> png;  // a 32-bit RGBA PNG of that size
};

// The .ico file: header, one 16-byte directory entry per image in the given order (256 pixels
// entered as 0, 32 bits per pixel, 1 plane), then the images back to back. Throws
// std::invalid_argument for a size the directory cannot hold.
std::vector<uint8_t> assembleIco(const std::vector<IconImage>& images);
