// The launcher image writer in-process, on the prebuilt images the packer carries: the
// descriptor it fills and the header fields it updates, as an independent reader sees them.
#include "packer/pe/launcher_image.h"

#include <gtest/gtest.h>

#include "packer/pe/image_error.h"
#include "tests/packer/pe_reader.h"
#include "tests/packer/test_util.h"

namespace {

LauncherParts sampleParts(const std::string& region) {
  LauncherParts parts;
  parts.strings = {u"{TEMP}\\x", u"Company", u"Product", u"1.0.0.0", u"1.0.0.1", u"1.0.0.2"};
  parts.entryTable = "VXT table";
  parts.region = reinterpret_cast<const unsigned char*>(region.data());
  parts.regionBytes = region.size();
  parts.resources = {{24, 1, "<manifest/>"}, {3, 1, "icon"}};
  parts.timeStamp = 0x12345678;
  return parts;
}

uint32_t alignedUp(uint32_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

TEST(LauncherImage, AddsTwoReadOnlyDataSectionsAndKeepsEveryHeaderFieldInStep) {
  const std::string region(100000, 'r');
  for (const char* file : {TARNIC_CONSOLE_LAUNCHER, TARNIC_WINDOWED_LAUNCHER}) {
    const std::string prebuilt = readFile(file);
    const TestImage before = readTestImage(prebuilt);
    const TestImage after = readTestImage(writeLauncherImage(prebuilt, sampleParts(region)));
    ASSERT_EQ(after.sections.size(), before.sections.size() + 2);
    const TestSection& data = after.sections[before.sections.size()];
    const TestSection& resources = after.sections.back();
    EXPECT_EQ(data.name, ".payload");
    EXPECT_EQ(resources.name, ".rsrc");
    for (const TestSection* added : {&data, &resources}) {
      EXPECT_EQ(added->characteristics, 0x40000040u) << added->name;
      EXPECT_EQ(added->rawOffset % after.fileAlignment, 0u) << added->name;
      EXPECT_EQ(added->rawSize, alignedUp(added->virtualSize, after.fileAlignment));
    }
    EXPECT_EQ(data.virtualAddress, before.sizeOfImage);
    // The region's section starts a page of the file, so that the loader can map it.
    EXPECT_EQ(data.rawOffset, alignedUp(before.bytes.size(), after.sectionAlignment));
    EXPECT_EQ(resources.virtualAddress,
              alignedUp(data.virtualAddress + data.virtualSize, after.sectionAlignment));
    EXPECT_EQ(resources.rawOffset, data.rawOffset + data.rawSize);
    EXPECT_EQ(after.bytes.size(), resources.rawOffset + resources.rawSize) << "no overlay";
    EXPECT_EQ(after.sizeOfImage,
              alignedUp(resources.virtualAddress + resources.virtualSize, after.sectionAlignment));
    EXPECT_EQ(after.sizeOfInitializedData,
              before.sizeOfInitializedData + data.rawSize + resources.rawSize);
    EXPECT_EQ(after.directories.at(2),
              std::make_pair(resources.virtualAddress, resources.virtualSize));
    EXPECT_EQ(after.directories.at(5), before.directories.at(5)) << "relocations as linked";
    EXPECT_EQ(after.subsystem, before.subsystem);
    EXPECT_EQ(after.timeStamp, 0x12345678u);
    EXPECT_EQ(after.checksum, documentedChecksum(after.bytes, after.checksumOffset));
    // The prebuilt image's own bytes stay, but for the headers and the descriptor.
    const TestSection* text = after.section(".text");
    ASSERT_TRUE(text);
    EXPECT_EQ(after.bytes.substr(text->rawOffset, text->rawSize),
              before.bytes.substr(text->rawOffset, text->rawSize));
  }
}

TEST(LauncherImage, FillsTheDescriptorWithRvasOfTheStringsTheTableAndTheRegion) {
  const std::string region = "VXJ the region";
  const TestImage image =
      readTestImage(writeLauncherImage(readFile(TARNIC_CONSOLE_LAUNCHER), sampleParts(region)));
  const TestSection* descriptor = image.section(".tarnic");
  ASSERT_TRUE(descriptor);
  EXPECT_EQ(image.bytes.substr(descriptor->rawOffset, 8), "TARNICD1");
  auto field = [&](size_t index) {
    const size_t at = descriptor->rawOffset + 8 + 8 * index;
    return image.at(u32At(image.bytes, at), u32At(image.bytes, at + 4));
  };
  EXPECT_EQ(field(0), std::string("{\0T\0E\0M\0P\0}\0\\\0x\0\0\0", 18));
  EXPECT_EQ(field(2), std::string("P\0r\0o\0d\0u\0c\0t\0\0\0", 16));
  EXPECT_EQ(field(5), std::string("1\0.\0000\0.\0000\0.\0002\0\0\0", 16));
  EXPECT_EQ(field(6), "VXT table");
  EXPECT_EQ(field(7), region);
}

TEST(LauncherImage, RefusesAnImageThatIsNoPrebuiltLauncher) {
  const std::string prebuilt = readFile(TARNIC_CONSOLE_LAUNCHER);
  const LauncherParts parts = sampleParts("VXJ");
  EXPECT_THROW(writeLauncherImage("MZ not an image", parts), ImageError);
  EXPECT_THROW(writeLauncherImage(prebuilt + "overlay", parts), ImageError);
  // A launcher is no prebuilt image: its descriptor is filled and it has resources.
  const std::string launcher = writeLauncherImage(prebuilt, parts);
  try {
    writeLauncherImage(launcher, parts);
    ADD_FAILURE() << "a launcher taken for a prebuilt image";
  } catch (const ImageError& error) {
    EXPECT_NE(std::string(error.what()).find("resources or a certificate"), std::string::npos)
        << error.what();
  }
}

TEST(PeChecksum, FoldsTheCarryAndAddsTheLength) {
  // Words 0xFFFF and 0x0003 give 0x10002, folded 0x0003; the field (bytes 4..7) counts as 0;
  // the odd last byte 0x01 is a word of its own.
  const std::string bytes("\xFF\xFF\x03\x00\xAA\xBB\xCC\xDD\x01", 9);
  EXPECT_EQ(peChecksum(bytes, 4), 0x0003u + 0x0001u + 9u);
  EXPECT_EQ(peChecksum(bytes, 4), documentedChecksum(bytes, 4));
}

}  // namespace
