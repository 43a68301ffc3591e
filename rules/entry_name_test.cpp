#include "rules/entry_name.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "rules/payload_format.h"

namespace {

EntryNameFault faultOf(std::u16string_view name) {
  return findEntryNameFault(name.data(), name.size());
}

std::string printable(std::u16string_view name) {
  std::string text;
  for (char16_t unit : name) {
    text +=
        unit < 0x7F ? std::string(1, static_cast<char>(unit)) : "<" + std::to_string(unit) + ">";
  }
  return text;
}

TEST(EntryName, AcceptsOrdinaryNames) {
  for (const char16_t* name :
       {u"a", u"App.exe", u".hidden", u"dir\\sub\\file.tar.gz", u"CONSOLE", u"COM10", u"LPT",
        u"xNUL", u"CON_.txt", u"COM\u2074", u"COM1x.txt", u"\u00e9\U0001F600", u"CONIN",
        u"CONOUT$$", u"xCONIN$", u"CONERR$"}) {
    EXPECT_EQ(faultOf(name).rule, EntryNameRule::kNone) << printable(name);
  }
  EXPECT_TRUE(isCreatableEntryName(std::u16string(kMaxNameUnits, u'n').c_str(), kMaxNameUnits));
  EXPECT_TRUE(isCreatableEntryName(L"dir\\App.exe", 11));
  EXPECT_FALSE(isCreatableEntryName(L"dir\\NUL.txt", 11));
}

TEST(EntryName, RefusesDeviceNamesAsWindowsReadsThem) {
  struct Device {
    const char16_t* name;
    size_t componentStart;
    size_t deviceUnits;
  };
  // The part before the first dot, trailing blanks dropped, in any ASCII case and component.
  for (const Device& device :
       {Device{u"COM0", 0, 4}, Device{u"LPT9", 0, 4}, Device{u"com\u00b9.txt", 0, 4},
        Device{u"Lpt\u00b3", 0, 4}, Device{u"sub\\NUL", 4, 3}, Device{u"aux .txt", 0, 3},
        Device{u"prn  .tar.gz", 0, 3}, Device{u"a\\cOn.x\\b", 2, 3}, Device{u"CONIN$", 0, 6},
        Device{u"conout$.txt", 0, 7}, Device{u"sub\\ConOut$ .log", 4, 7}}) {
    const EntryNameFault fault = faultOf(device.name);
    EXPECT_EQ(fault.rule, EntryNameRule::kDeviceName) << printable(device.name);
    EXPECT_EQ(fault.componentStart, device.componentStart) << printable(device.name);
    EXPECT_EQ(fault.faultStart, device.componentStart) << printable(device.name);
    EXPECT_EQ(fault.faultUnits, device.deviceUnits) << printable(device.name);
  }
}

TEST(EntryName, RefusesComponentsEndingInDotOrBlankBeforeDeviceNames) {
  for (const char16_t* name : {u"aux.", u"nul ", u".", u"..", u". .", u"a\\..\\b"}) {
    const EntryNameFault fault = faultOf(name);
    EXPECT_EQ(fault.rule, EntryNameRule::kTrailingDotOrBlank) << printable(name);
    EXPECT_EQ(fault.faultStart, fault.componentStart + fault.componentUnits - 1) << printable(name);
  }
}

TEST(EntryName, RefusesCharactersWindowsDoesNotAllowAtTheirPlace) {
  for (char16_t reserved : std::u16string_view(u"<>:\"/|?*")) {
    const std::u16string name = std::u16string(u"dir\\a") + reserved + u"b";
    const EntryNameFault fault = faultOf(name);
    EXPECT_EQ(fault.rule, EntryNameRule::kReservedCharacter) << printable(name);
    EXPECT_EQ(fault.componentStart, 4u);
    EXPECT_EQ(fault.faultStart, 5u);
  }
  // Before the device check: "nul" followed by a 0 unit is refused for the 0.
  const EntryNameFault control = faultOf(std::u16string(u"nul\0x", 5));
  EXPECT_EQ(control.rule, EntryNameRule::kControlCharacter);
  EXPECT_EQ(control.faultStart, 3u);
  EXPECT_EQ(faultOf(u"tab\there").rule, EntryNameRule::kControlCharacter);
}

TEST(EntryName, RefusesNamesOfTheLaunchersFilesInProgressInAnyCase) {
  const EntryNameFault fault = faultOf(u"bin\\App.exe.Tarnic-PARTIAL");
  EXPECT_EQ(fault.rule, EntryNameRule::kPartialFileName);
  EXPECT_EQ(fault.faultStart, 11u);
  EXPECT_EQ(faultOf(u"a.tarnic-partial\\b").rule, EntryNameRule::kPartialFileName);
  EXPECT_EQ(faultOf(u"a.tarnic-partial.txt").rule, EntryNameRule::kNone);
}

TEST(EntryName, RefusesEmptyAndOverlongNamesAndEmptyComponents) {
  EXPECT_EQ(faultOf(u"").rule, EntryNameRule::kEmpty);
  EXPECT_EQ(faultOf(std::u16string(kMaxNameUnits + 1, u'n')).rule, EntryNameRule::kTooLong);
  for (const char16_t* name : {u"\\a", u"a\\", u"a\\\\b"}) {
    EXPECT_EQ(faultOf(name).rule, EntryNameRule::kEmptyComponent) << printable(name);
  }
  EXPECT_EQ(faultOf(u"a\\\\b").componentStart, 2u);
}

}  // namespace
