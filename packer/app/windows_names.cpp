#include "packer/app/windows_names.h"

#include <algorithm>
#include <iterator>
#include <map>

#include "packer/messages/text_encoding.h"
#include "rules/entry_name.h"
#include "rules/payload_format.h"

namespace {

constexpr char16_t kSeparator = u'\\';

// A unit and its simple upper-case mapping in Unicode's data.
struct UpperCasePair {
  char16_t unit;
  char16_t upper;
};

// Every unit of the Basic Multilingual Plane whose simple upper-case mapping is another unit
// of it, by ascending unit: generated at build time from UnicodeData.txt.
constexpr UpperCasePair kUpperCasePairs[] = {
#include "upper_case_pairs.inc"
};

constexpr bool ascendingUnits() {
  for (size_t i = 1; i < std::size(kUpperCasePairs); ++i) {
    if (kUpperCasePairs[i - 1].unit >= kUpperCasePairs[i].unit) {
      return false;
    }
  }
  return true;
}
static_assert(ascendingUnits(), "foldCase searches the pairs by bisection");

std::string reservedCharacterProblem(char16_t unit) {
  return std::string("holds the character '") + static_cast<char>(unit) +
         "', which Windows does not allow in names";
}

// Words the first fault of `name` for the user, or "" when there is none.
std::string faultProblem(std::u16string_view name, const EntryNameFault& fault) {
  const std::u16string_view component = name.substr(fault.componentStart, fault.componentUnits);
  const std::u16string_view faulty = name.substr(fault.faultStart, fault.faultUnits);
  switch (fault.rule) {
    case EntryNameRule::kNone:
      return "";
    case EntryNameRule::kEmpty:
      return "is empty";
    case EntryNameRule::kTooLong:
      return "is " + std::to_string(name.size()) +
             " UTF-16 units long; the launcher takes at most " + std::to_string(kMaxNameUnits);
    case EntryNameRule::kEmptyComponent:
      return "has an empty folder name";
    case EntryNameRule::kControlCharacter:
      return "holds the control character " + unitName(faulty[0]) +
             ", which Windows does not allow";
    case EntryNameRule::kReservedCharacter:
      return reservedCharacterProblem(faulty[0]);
    case EntryNameRule::kTrailingDotOrBlank:
      return quoted(component) + " ends in a dot or a blank, which Windows drops";
    case EntryNameRule::kDeviceName: {
      std::u16string device;
      for (char16_t unit : faulty) {
        device += foldCase(unit);
      }
      return quoted(component) + " is the device " + utf16ToUtf8(device) + " on Windows";
    }
    case EntryNameRule::kPartialFileName:
      return quoted(component) + " ends in " + quoted(faulty) +
             ", which the launcher keeps for files it is writing";
  }
  return "";
}

}  // namespace

std::string windowsComponentProblem(std::u16string_view component) {
  // A host file name may hold a backslash, which would split the entry name into folders.
  if (component.find(kSeparator) != std::u16string_view::npos) {
    return reservedCharacterProblem(kSeparator);
  }
  return faultProblem(component, findEntryComponentFault(component.data(), component.size()));
}

std::string windowsNameProblem(std::u16string_view name) {
  return faultProblem(name, findEntryNameFault(name.data(), name.size()));
}

char16_t foldCase(char16_t unit) {
  const UpperCasePair* end = std::end(kUpperCasePairs);
  const UpperCasePair* pair =
      std::lower_bound(std::begin(kUpperCasePairs), end, unit,
                       [](const UpperCasePair& entry, char16_t key) { return entry.unit < key; });
  return pair != end && pair->unit == unit ? pair->upper : unit;
}

std::vector<std::pair<std::u16string, std::u16string>> findNameConflicts(
    const std::vector<std::u16string>& names) {
  struct Seen {
    std::u16string spelling;
    bool folder;
  };
  std::map<std::u16string, Seen> seenByFolded;
  std::vector<std::pair<std::u16string, std::u16string>> conflicts;
  for (const std::u16string& name : names) {
    std::u16string folded;
    for (size_t i = 0; i <= name.size(); ++i) {
      const bool folder = i < name.size();
      if (!folder || name[i] == kSeparator) {
        Seen seen{name.substr(0, i), folder};
        auto [it, inserted] = seenByFolded.emplace(folded, seen);
        const bool sameFolder = it->second.folder && folder && it->second.spelling == seen.spelling;
        std::pair<std::u16string, std::u16string> pair(it->second.spelling, seen.spelling);
        if (!inserted && !sameFolder &&
            std::find(conflicts.begin(), conflicts.end(), pair) == conflicts.end()) {
          conflicts.push_back(std::move(pair));
        }
      }
      if (folder) {
        folded += foldCase(name[i]);
      }
    }
  }
  return conflicts;
}
