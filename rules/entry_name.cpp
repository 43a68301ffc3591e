#include "rules/entry_name.h"

#include <string>  // std::char_traits

#include "rules/payload_format.h"  // kMaxNameUnits

namespace {

constexpr char kSeparator = '\\';
constexpr char16_t kFirstPrintable = 0x20;
// Characters that no Windows file name holds, beside the control characters and the separator.
constexpr char kReservedCharacters[] = "<>:\"/|?*";

// Device names are three letters, or three letters and a port digit.
constexpr size_t kDeviceLetters = 3;
constexpr char kDeviceNames[][kDeviceLetters + 1] = {"CON", "PRN", "AUX", "NUL"};
constexpr char kPortNames[][kDeviceLetters + 1] = {"COM", "LPT"};
// Windows counts the superscripts one, two and three as port digits too.
constexpr char16_t kSuperscriptDigits[] = {0xB9, 0xB2, 0xB3};
// The console's input and output, which Windows opens in any folder as it does the devices.
constexpr const char* kConsoleNames[] = {"CONIN$", "CONOUT$"};

constexpr EntryNameFault kNoFault{EntryNameRule::kNone, 0, 0, 0, 0};

template <typename Unit>
bool isReservedCharacter(Unit unit) {
  for (const char* reserved = kReservedCharacters; *reserved != '\0'; ++reserved) {
    if (unit == static_cast<Unit>(*reserved)) {
      return true;
    }
  }
  return false;
}

template <typename Unit>
bool isPortDigit(Unit unit) {
  if (unit >= '0' && unit <= '9') {
    return true;
  }
  for (char16_t digit : kSuperscriptDigits) {
    if (unit == digit) {
      return true;
    }
  }
  return false;
}

// Whether `text` starts with `ascii`, letters in any ASCII case.
template <typename Unit>
bool startsWithLetters(const Unit* text, const char* ascii) {
  for (size_t i = 0; ascii[i] != '\0'; ++i) {
    const Unit unit = static_cast<Unit>(ascii[i]);
    const bool upper = unit >= 'A' && unit <= 'Z';
    const bool lower = unit >= 'a' && unit <= 'z';
    const Unit other = upper ? unit + ('a' - 'A') : lower ? unit - ('a' - 'A') : unit;
    if (text[i] != unit && text[i] != other) {
      return false;
    }
  }
  return true;
}

template <typename Unit>
bool endsWithPartialSuffix(const Unit* component, size_t units) {
  return units >= kPartialFileSuffixUnits &&
         startsWithLetters(component + units - kPartialFileSuffixUnits, kPartialFileSuffix);
}

// The units of the device name Windows reads in `component`, or 0 when it reads none. Windows
// takes the part before the first dot, trailing blanks dropped, so "aux .txt" is AUX.
template <typename Unit>
size_t deviceNameUnits(const Unit* component, size_t units) {
  size_t stem = 0;
  while (stem < units && component[stem] != '.') {
    ++stem;
  }
  while (stem > 0 && component[stem - 1] == ' ') {
    --stem;
  }
  if (stem == kDeviceLetters) {
    for (const char* device : kDeviceNames) {
      if (startsWithLetters(component, device)) {
        return stem;
      }
    }
  }
  if (stem == kDeviceLetters + 1 && isPortDigit(component[kDeviceLetters])) {
    for (const char* port : kPortNames) {
      if (startsWithLetters(component, port)) {
        return stem;
      }
    }
  }
  for (const char* console : kConsoleNames) {
    if (stem == std::char_traits<char>::length(console) && startsWithLetters(component, console)) {
      return stem;
    }
  }
  return 0;
}

}  // namespace

template <typename Unit>
EntryNameFault findEntryComponentFault(const Unit* component, size_t units) {
  if (units == 0) {
    return {EntryNameRule::kEmptyComponent, 0, 0, 0, 0};
  }
  for (size_t i = 0; i < units; ++i) {
    if (component[i] < kFirstPrintable) {
      return {EntryNameRule::kControlCharacter, 0, units, i, 1};
    }
    if (isReservedCharacter(component[i])) {
      return {EntryNameRule::kReservedCharacter, 0, units, i, 1};
    }
  }
  if (component[units - 1] == '.' || component[units - 1] == ' ') {
    return {EntryNameRule::kTrailingDotOrBlank, 0, units, units - 1, 1};
  }
  if (const size_t device = deviceNameUnits(component, units)) {
    return {EntryNameRule::kDeviceName, 0, units, 0, device};
  }
  if (endsWithPartialSuffix(component, units)) {
    return {EntryNameRule::kPartialFileName, 0, units, units - kPartialFileSuffixUnits,
            kPartialFileSuffixUnits};
  }
  return kNoFault;
}

template <typename Unit>
EntryNameFault findEntryNameFault(const Unit* name, size_t units) {
  if (units == 0) {
    return {EntryNameRule::kEmpty, 0, 0, 0, 0};
  }
  if (units > kMaxNameUnits) {
    return {EntryNameRule::kTooLong, 0, units, 0, units};
  }
  for (size_t start = 0;;) {
    size_t end = start;
    while (end < units && name[end] != kSeparator) {
      ++end;
    }
    EntryNameFault fault = findEntryComponentFault(name + start, end - start);
    if (fault.rule != EntryNameRule::kNone) {
      fault.componentStart = start;
      fault.faultStart += start;
      return fault;
    }
    if (end == units) {
      return kNoFault;
    }
    start = end + 1;
  }
}

template <typename Unit>
bool isCreatableEntryName(const Unit* name, size_t units) {
  return findEntryNameFault(name, units).rule == EntryNameRule::kNone;
}

// The launcher's names are wchar_t, the packer's char16_t.
template EntryNameFault findEntryNameFault(const wchar_t* name, size_t units);
template EntryNameFault findEntryNameFault(const char16_t* name, size_t units);
template EntryNameFault findEntryComponentFault(const wchar_t* component, size_t units);
template EntryNameFault findEntryComponentFault(const char16_t* component, size_t units);
template bool isCreatableEntryName(const wchar_t* name, size_t units);
template bool isCreatableEntryName(const char16_t* name, size_t units);
