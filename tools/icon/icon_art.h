// The product's icon, drawn by code: a fan of three rounded cards with a "T" on the front one.
#pragma once

#include <cstdint>
#include <vector>

// A square image of 8-bit RGBA pixels, rows top to bottom, alpha not premultiplied.
struct Image {
  int size = 0;
  std::vector<uint8_t> rgba;
};

// The sizes the icon carries, smallest first, as its directory lists them.
constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

// Draws the icon at `size` pixels square, anti-aliased, on a transparent background.
Image drawIcon(int size);
