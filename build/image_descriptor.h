// The descriptor of a launcher image, defined once for the launcher that reads it and the packer
// that fills it: where the application's region, its entry table, the six configuration
// strings and the fixed arguments lie in the image.
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
// arguments are such strings one after another. A field of length 0 is empty: a string "", a
// region or table of no bytes, or no fixed arguments.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The section's name as the section table holds it (at most 8 bytes, NUL-padded); a macro as
// well, because the compiler's section attribute takes a literal only.
#define TARNIC_DESCRIPTOR_SECTION ".tarnic"
constexpr char kDescriptorSection[] = TARNIC_DESCRIPTOR_SECTION;
constexpr unsigned char kDescriptorMagic[] = {'T', 'A', 'R', 'N', 'I', 'C', 'D', '1'};
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
  kDescriptorFields,
};
// The fields before this one are the strings, in the order above.
constexpr size_t kStringFields = kEntryTableField;

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

static_assert(sizeof kDescriptorSection <= 8 + 1, "a section name has at most 8 bytes");
static_assert(kStringFields == 6, "target spec, company, product and three versions");
static_assert(kDescriptorBytes == 80, "magic and nine fields");
