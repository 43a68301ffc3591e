// PNG encoding of an icon image: signature, IHDR, one IDAT, IEND.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/icon/icon_art.h"

// The image as a PNG file of 8-bit RGBA pixels (colour type 6, no interlace), each row under
// the filter that suits it best. Throws std::runtime_error when zlib fails.
std::vector<uint8_t> encodePng(const Image& image);
