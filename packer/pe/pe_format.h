// The parts of the PE image format the packer reads and writes: the headers of a 64-bit Windows
// image, its section table, the resource directory and the checksum. All fields little-endian.
//
// Image:     DOS header (e_lfanew at 0x3C) | ... | "PE\0\0" | COFF header | optional header
//            (PE32+) with its data directories | section table | section data, each section's
//            raw data at a multiple of FileAlignment
// Resources: directory tables (type, name, language), data entries, then the data; every
//            offset in the tree counts from the section's start, data entries hold RVAs.
#pragma once

#include <cstddef>
#include <cstdint>

// `value` rounded up to a multiple of `alignment`, a power of two: every alignment of a file
// offset, an RVA or a field in the formats below.
template <typename Unsigned>
constexpr Unsigned alignUp(Unsigned value, size_t alignment) {
  return static_cast<Unsigned>((value + alignment - 1) & ~(alignment - 1));
}

// DOS header: "MZ", and where the PE signature lies.
constexpr uint16_t kDosMagic = 0x5A4D;
constexpr size_t kDosNewHeaderOffset = 0x3C;
constexpr size_t kDosHeaderBytes = 0x40;
constexpr unsigned char kPeSignature[] = {'P', 'E', 0, 0};
constexpr size_t kPeSignatureBytes = sizeof kPeSignature;

// COFF header, after the signature.
constexpr size_t kCoffMachine = 0;
constexpr size_t kCoffSectionCount = 2;
constexpr size_t kCoffTimeDateStamp = 4;
constexpr size_t kCoffSymbolTable = 8;
constexpr size_t kCoffSymbolCount = 12;
constexpr size_t kCoffOptionalHeaderSize = 16;
constexpr size_t kCoffCharacteristics = 18;
constexpr size_t kCoffHeaderBytes = 20;

constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineI386 = 0x14C;
constexpr uint16_t kMachineArm = 0x1C0;
constexpr uint16_t kMachineArmNt = 0x1C4;
constexpr uint16_t kMachineArm64 = 0xAA64;
constexpr uint16_t kMachineIa64 = 0x200;
constexpr uint16_t kFileExecutableImage = 0x0002;
constexpr uint16_t kFileDll = 0x2000;

// Optional header of a PE32+ image, after the COFF header.
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr size_t kOptMagic = 0;
constexpr size_t kOptSizeOfInitializedData = 8;
constexpr size_t kOptSectionAlignment = 32;
constexpr size_t kOptFileAlignment = 36;
constexpr size_t kOptSizeOfImage = 56;
constexpr size_t kOptSizeOfHeaders = 60;
constexpr size_t kOptCheckSum = 64;
constexpr size_t kOptSubsystem = 68;
constexpr size_t kOptDirectoryCount = 108;
constexpr size_t kOptDirectories = 112;
constexpr size_t kDirectoryBytes = 8;  // u32 RVA | u32 size
constexpr size_t kDirectoryRva = 0;
constexpr size_t kDirectorySize = 4;
constexpr size_t kDirectorySlots = 16;
constexpr size_t kPe32PlusOptionalHeaderBytes = kOptDirectories + kDirectorySlots * kDirectoryBytes;

constexpr size_t kResourceDirectory = 2;
constexpr size_t kCertificateDirectory = 4;

constexpr uint16_t kSubsystemWindowsGui = 2;
constexpr uint16_t kSubsystemWindowsCui = 3;

// Section header.
constexpr size_t kSectionNameBytes = 8;
constexpr size_t kSectionVirtualSize = 8;
constexpr size_t kSectionVirtualAddress = 12;
constexpr size_t kSectionRawSize = 16;
constexpr size_t kSectionRawOffset = 20;
constexpr size_t kSectionCharacteristics = 36;
constexpr size_t kSectionHeaderBytes = 40;
constexpr uint32_t kSectionInitializedData = 0x00000040;
constexpr uint32_t kSectionMemoryRead = 0x40000000;
constexpr uint32_t kSectionCode = 0x00000020;
constexpr uint32_t kSectionMemoryExecute = 0x20000000;

// Resource directory table, its entries and the data entries.
constexpr size_t kResourceTableBytes = 16;
constexpr size_t kResourceTableNamedCount = 12;
constexpr size_t kResourceTableIdCount = 14;
constexpr size_t kResourceEntryBytes = 8;  // u32 id | u32 offset, high bit set for a table
constexpr size_t kResourceEntryId = 0;
constexpr uint32_t kResourceNamedEntry = 0x80000000;  // in the id: the offset of a name
constexpr size_t kResourceEntryOffset = 4;
constexpr uint32_t kResourceSubdirectory = 0x80000000;
constexpr size_t kResourceDataEntryBytes = 16;  // u32 RVA | u32 size | u32 code page | reserved
constexpr size_t kResourceDataRva = 0;
constexpr size_t kResourceDataSize = 4;
constexpr size_t kResourceDataAlignment = 8;
// A launcher's resources are an icon, a version block and a manifest: far less than this, which
// bounds what a damaged or hostile icon can make the packer build.
constexpr size_t kMaxResourceSectionBytes = 8 << 20;

constexpr uint16_t kResourceIcon = 3;
constexpr uint16_t kResourceGroupIcon = 14;
constexpr uint16_t kResourceVersion = 16;
constexpr uint16_t kResourceManifest = 24;

static_assert(kCoffCharacteristics + 2 == kCoffHeaderBytes, "the COFF header's last field");
static_assert(kPe32PlusOptionalHeaderBytes == 240, "PE32+ optional header with 16 directories");
static_assert(kSectionCharacteristics + 4 == kSectionHeaderBytes,
              "the section header's last field");
static_assert(kResourceTableIdCount + 2 == kResourceTableBytes, "the table's last field");
static_assert(kDirectorySize + 4 == kDirectoryBytes &&
                  kResourceEntryOffset + 4 == kResourceEntryBytes,
              "a directory and a table entry: two u32 fields");

// Version resource: a tree of blocks, each u16 length (without the padding after it) | u16
// value length | u16 type | key (UTF-16, NUL-terminated) | padding to 4 | value | padding to 4
// | children. Text values count their length in UTF-16 units with the NUL, binary ones in bytes.
constexpr size_t kVersionAlignment = 4;
constexpr size_t kVersionLengthField = 0;
constexpr size_t kVersionValueLengthField = 2;
constexpr size_t kVersionTypeField = 4;
constexpr size_t kVersionHeaderBytes = 6;
constexpr uint16_t kVersionBinary = 0;
constexpr uint16_t kVersionText = 1;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kFixedInfoStructVersion = 0x00010000;
constexpr size_t kFixedInfoFileVersion = 8;  // two u32, major and minor first
constexpr size_t kFixedInfoProductVersion = 16;
constexpr uint32_t kFixedInfoFlagsMask = 0x3F;
constexpr uint32_t kFixedInfoOsWindows32 = 0x4;
constexpr uint32_t kFixedInfoTypeApplication = 0x1;
constexpr size_t kFixedInfoFields = 13;
constexpr size_t kFixedInfoBytes = kFixedInfoFields * 4;
constexpr uint16_t kUnicodeCodePage = 1200;

static_assert(kVersionTypeField + 2 == kVersionHeaderBytes, "the block header's last field");
static_assert(kFixedInfoBytes == 52, "VS_FIXEDFILEINFO");
