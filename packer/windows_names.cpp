#include "packer/windows_names.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "packer/text_encoding.h"
#include "payload/payload_format.h"

namespace {

constexpr char16_t kSeparator = u'\\';
constexpr char16_t kFirstPrintable = 0x20;
constexpr std::u16string_view kForbiddenCharacters = u"<>:\"/\\|?*";
// Device names are reserved alone and with any extension.
constexpr const char* kDeviceNames[] = {
    "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
    "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};

char16_t asciiUpper(char16_t unit) {
  return unit >= u'a' && unit <= u'z' ? unit - 0x20 : unit;
}

bool equalsIgnoringAsciiCase(std::u16string_view text, const char* ascii) {
  size_t i = 0;
  for (; ascii[i] != '\0'; ++i) {
    if (i == text.size() || asciiUpper(text[i]) != static_cast<char16_t>(ascii[i])) {
      return false;
    }
  }
  return i == text.size();
}

// Windows reads the part before the first dot, trailing blanks dropped, as the device name.
std::optional<std::string> deviceName(std::u16string_view component) {
  std::u16string_view stem = component.substr(0, component.find(u'.'));
  while (!stem.empty() && stem.back() == u' ') {
    stem.remove_suffix(1);
  }
  for (const char* device : kDeviceNames) {
    if (equalsIgnoringAsciiCase(stem, device)) {
      return std::string(device);
    }
  }
  return std::nullopt;
}

std::string unitText(char16_t unit) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(unit));
  return text;
}

// Folds the pairs of Latin Extended-A, where upper and lower case alternate with an offset of
// one and the run starts at an even or an odd unit.
char16_t foldLatinExtendedA(char16_t unit) {
  const bool evenUpper = (unit >= 0x100 && unit <= 0x12F) || (unit >= 0x132 && unit <= 0x137) ||
                         (unit >= 0x14A && unit <= 0x177);
  const bool oddUpper = (unit >= 0x139 && unit <= 0x148) || (unit >= 0x179 && unit <= 0x17E);
  if (evenUpper && unit % 2 == 1) {
    return unit - 1;
  }
  if (oddUpper && unit % 2 == 0) {
    return unit - 1;
  }
  return unit;
}

}  // namespace

std::string windowsComponentProblem(std::u16string_view component) {
  for (char16_t unit : component) {
    if (unit < kFirstPrintable) {
      return "holds the control character " + unitText(unit) + ", which Windows does not allow";
    }
    if (kForbiddenCharacters.find(unit) != std::u16string_view::npos) {
      return std::string("holds the character '") + static_cast<char>(unit) +
             "', which Windows does not allow in names";
    }
  }
  if (!component.empty() && (component.back() == u'.' || component.back() == u' ')) {
    return "\"" + utf16ToUtf8(component) + "\" ends in a dot or a blank, which Windows drops";
  }
  if (std::optional<std::string> device = deviceName(component)) {
    return "\"" + utf16ToUtf8(component) + "\" is the device " + *device + " on Windows";
  }
  return "";
}

std::string windowsNameProblem(std::u16string_view name) {
  if (name.empty()) {
    return "is empty";
  }
  if (name.size() > kMaxNameUnits) {
    return "is " + std::to_string(name.size()) + " UTF-16 units long; the launcher takes at most " +
           std::to_string(kMaxNameUnits);
  }
  size_t start = 0;
  while (true) {
    const size_t end = std::min(name.find(kSeparator, start), name.size());
    const std::u16string_view component = name.substr(start, end - start);
    if (component.empty()) {
      return "has an empty folder name";
    }
    std::string problem = windowsComponentProblem(component);
    if (!problem.empty()) {
      return problem;
    }
    if (end == name.size()) {
      return "";
    }
    start = end + 1;
  }
}

char16_t foldCase(char16_t unit) {
  if (unit < 0x80) {
    return asciiUpper(unit);
  }
  if (unit >= 0xE0 && unit <= 0xFE && unit != 0xF7) {
    return unit - 0x20;
  }
  if (unit == 0xFF) {
    return 0x178;
  }
  if (unit >= 0x100 && unit <= 0x17F) {
    return foldLatinExtendedA(unit);
  }
  if (unit == 0x3C2) {
    return 0x3A3;  // final sigma
  }
  if (unit >= 0x3B1 && unit <= 0x3CB) {
    return unit - 0x20;
  }
  if (unit >= 0x430 && unit <= 0x44F) {
    return unit - 0x20;
  }
  if (unit >= 0x450 && unit <= 0x45F) {
    return unit - 0x50;
  }
  if (unit >= 0xFF41 && unit <= 0xFF5A) {
    return unit - 0x20;
  }
  return unit;
}

std::optional<std::pair<std::u16string, std::u16string>> findNameConflict(
    const std::vector<std::u16string>& names) {
  struct Seen {
    std::u16string spelling;
    bool folder;
  };
  std::map<std::u16string, Seen> seenByFolded;
  for (const std::u16string& name : names) {
    std::u16string folded;
    for (size_t i = 0; i <= name.size(); ++i) {
      const bool folder = i < name.size();
      if (!folder || name[i] == kSeparator) {
        Seen seen{name.substr(0, i), folder};
        auto [it, inserted] = seenByFolded.emplace(folded, seen);
        const bool sameFolder = it->second.folder && folder && it->second.spelling == seen.spelling;
        if (!inserted && !sameFolder) {
          return std::make_pair(it->second.spelling, seen.spelling);
        }
      }
      if (folder) {
        folded += foldCase(name[i]);
      }
    }
  }
  return std::nullopt;
}
