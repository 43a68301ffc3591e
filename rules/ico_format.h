// The icon (.ico) file, defined once for the program that draws the project's icon, the packer
// that checks an icon and turns it into resources, and the tests. All fields little-endian.
//
// File:       header | count directory entries | image data anywhere after them
// Header:     u16 reserved 0 | u16 type 1 | u16 image count
// Entry:      u8 width | u8 height (0 for 256) | u8 colour count | u8 reserved | u16 planes
//             | u16 bits per pixel | u32 image bytes | u32 image offset in the file
//
// An executable carries the images as icon resources and the directory as an icon group
// resource, whose entries end in the image's resource id instead of its offset:
// Group entry: the entry's first 12 bytes | u16 resource id
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kIcoTypeOffset = 2;
constexpr size_t kIcoCountOffset = 4;
constexpr size_t kIcoHeaderBytes = 6;
constexpr uint16_t kIcoType = 1;

constexpr size_t kIcoEntryWidth = 0;
constexpr size_t kIcoEntryHeight = 1;
constexpr size_t kIcoEntryPlanes = 4;
constexpr size_t kIcoEntryBitsPerPixel = 6;
constexpr size_t kIcoEntryImageBytes = 8;
constexpr size_t kIcoEntryImageOffset = 12;
constexpr size_t kIcoEntryBytes = 16;

constexpr size_t kGroupEntryResourceId = 12;
constexpr size_t kGroupEntryBytes = 14;

// The directory's one-byte sizes hold 1 to 255; 0 stands for 256.
constexpr int kLargestIconPixels = 256;

static_assert(kIcoCountOffset + 2 == kIcoHeaderBytes, "the header's last field");
static_assert(kIcoEntryImageOffset + 4 == kIcoEntryBytes, "the entry's last field");
static_assert(kGroupEntryResourceId == kIcoEntryImageOffset, "the id replaces the offset");
static_assert(kGroupEntryResourceId + 2 == kGroupEntryBytes, "the group entry's last field");
