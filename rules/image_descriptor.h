// The descriptor of a launcher image, defined once for the launcher that reads it and the packer
// that fills it: where the application's region, its entry table, the six configuration
// strings, the fixed arguments and the launch options lie in the image.
//
// The prebuilt launcher carries the descriptor at the start of a section of its own,
// kDescriptorSection: the magic, then every field zero. The packer adds the data to a copy of
// the image in sections of its own and writes the fields. The launcher never writes them.
//
// Descriptor:  "TARNICD1" | kDescriptorFields fields, in DescriptorField order
// Field:       u32 LE RVA | u32 LE length in bytes
//
// RVAs count from the image base, so the fields need no relocation and the image loads at any
// base. Strings are UTF-16LE and end in a NUL unit, which their length counts. The fixed
// arguments are such strings one after another. The launch options are a u32 LE of option bits.
// A field of length 0 is empty: a string "", a region or table of no bytes, no fixed arguments
// or no options.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "rules/little_endian.h"

// The section's name as the section table holds it (at most 8 bytes, NUL-padded); a macro as
// well, because the compiler's section attribute takes a literal only.
#define TARNIC_DESCRIPTOR_SECTION ".tarnic"
constexpr char kDescriptorSection[] = TARNIC_DESCRIPTOR_SECTION;
constexpr unsigned char kDescriptorMagic[] = {'T', 'A', 'R', 'N', 'I', 'C', 'D', '1'};
// The section the packer adds for the data the fields point at.
constexpr char kDataSection[] = ".payload";
constexpr size_t kDescriptorMagicBytes = sizeof kDescriptorMagic;

enum DescriptorField : size_t {
  kTargetSpecField,
  kCompanyNameField,
  kProductNameField,
  kVersionField,
  kFileVersionField,
  kProductVersionField,
  kEntryTableField,
  kRegionField,
  kFixedArgumentsField,
  kLaunchOptionsField,
  kDescriptorFields,
};
// The fields before this one are the strings, in the order above.
constexpr size_t kStringFields = kEntryTableField;

// Whether `field` holds UTF-16 text that ends in a NUL unit: a string, or the fixed arguments,
// whose last string's NUL ends the field.
constexpr bool holdsText(size_t field) {
  return field < kStringFields || field == kFixedArgumentsField;
}

// The launch options' bits and their field's size.
constexpr uint32_t kSharedTargetOption = 1;     // others may write below the target: nothing is
                                                // taken from the folders beside it
constexpr uint32_t kRemoveAfterExitOption = 2;  // the unpacked files go when the program ends
// How many versions of the application stay beside each other, the started one included: a
// number from 1 to kMostKeptVersions in these bits, 0 when every version stays.
constexpr unsigned kKeepVersionsShift = 8;
constexpr uint32_t kKeepVersionsMask = uint32_t{0xFF} << kKeepVersionsShift;
constexpr unsigned kMostKeptVersions = 255;
constexpr size_t kLaunchOptionsBytes = 4;

// The option bits that keep `versions` versions, and the versions the options keep.
constexpr uint32_t keepVersionsOption(unsigned versions) {
  return (uint32_t{versions} << kKeepVersionsShift) & kKeepVersionsMask;
}
constexpr unsigned keptVersions(uint32_t options) {
  return (options & kKeepVersionsMask) >> kKeepVersionsShift;
}
static_assert(keptVersions(keepVersionsOption(kMostKeptVersions)) == kMostKeptVersions,
              "the most versions fit their bits");

constexpr size_t kFieldRvaBytes = 4;
constexpr size_t kFieldLengthBytes = 4;
constexpr size_t kFieldBytes = kFieldRvaBytes + kFieldLengthBytes;

// Where `field`'s RVA lies in the descriptor; its length follows.
constexpr size_t fieldOffset(size_t field) {
  return kDescriptorMagicBytes + field * kFieldBytes;
}
constexpr size_t kDescriptorBytes = fieldOffset(kDescriptorFields);

using DescriptorBytes = std::array<unsigned char, kDescriptorBytes>;

// The descriptor as the prebuilt launcher carries it: the magic and every field zero.
constexpr DescriptorBytes emptyDescriptor() {
  DescriptorBytes bytes{};
  for (size_t i = 0; i < kDescriptorMagicBytes; ++i) {
    bytes[i] = kDescriptorMagic[i];
  }
  return bytes;
}

// The data section of an image as its reader sees it: its RVA, and the bytes that can be read
// from there on (none when the image has no such section).
struct DescriptorData {
  uint32_t rva;
  const unsigned char* bytes;
  uint32_t size;
};

// A field's bytes as an offset into the data section, or false when they do not lie inside it.
inline bool locateField(uint32_t rva, uint32_t length, const DescriptorData& data,
                        uint32_t* offset) {
  if (rva < data.rva || rva - data.rva > data.size || length > data.size - (rva - data.rva)) {
    return false;
  }
  *offset = rva - data.rva;
  return true;
}

// Whether the descriptor at `descriptor` (kDescriptorBytes, magic included) is one a reader can
// follow in an image of `sizeOfImage` bytes whose data section is `data`: the magic is there,
// and every field is empty (length 0) or lies inside the data section and SizeOfImage and
// overlaps no other field, one that holds text (holdsText) at an even RVA, of an even length
// and ending in a NUL unit. A damaged launcher would otherwise read outside its image or text
// with no end.
inline bool isSoundDescriptor(const unsigned char* descriptor, const DescriptorData& data,
                              uint32_t sizeOfImage) {
  for (size_t i = 0; i < kDescriptorMagicBytes; ++i) {
    if (descriptor[i] != kDescriptorMagic[i]) {
      return false;
    }
  }
  uint64_t starts[kDescriptorFields];
  uint64_t ends[kDescriptorFields];
  for (size_t field = 0; field < kDescriptorFields; ++field) {
    const uint32_t rva = readLittleEndian<uint32_t>(descriptor + fieldOffset(field));
    const uint32_t length =
        readLittleEndian<uint32_t>(descriptor + fieldOffset(field) + kFieldRvaBytes);
    starts[field] = rva;
    ends[field] = uint64_t{rva} + length;
    if (length == 0) {
      continue;
    }
    uint32_t offset = 0;
    if (!locateField(rva, length, data, &offset) || ends[field] > sizeOfImage) {
      return false;
    }
    if (field == kLaunchOptionsField && length != kLaunchOptionsBytes) {
      return false;
    }
    if (holdsText(field) &&
        (rva % 2 != 0 || length % 2 != 0 || data.bytes[offset + length - 1] != 0 ||
         data.bytes[offset + length - 2] != 0)) {
      return false;
    }
    for (size_t other = 0; other < field; ++other) {
      if (starts[other] < ends[other] && starts[field] < ends[other] &&
          starts[other] < ends[field]) {
        return false;
      }
    }
  }
  return true;
}

static_assert(sizeof kDescriptorSection <= 8 + 1, "a section name has at most 8 bytes");
static_assert(sizeof kDataSection <= 8 + 1, "a section name has at most 8 bytes");
static_assert(kStringFields == 6, "target spec, company, product and three versions");
static_assert(kDescriptorBytes == 88, "magic and ten fields");
