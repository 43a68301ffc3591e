// The names the launcher may create below its target directory, decided once for the launcher
// that refuses a bad name in a damaged or crafted region and the packer that refuses it when
// packing. No system calls: both trees compile it.
//
// A name is a relative path of UTF-16 units whose components are separated by backslashes.
// The functions are templates over the unit type because the launcher holds names as wchar_t
// and the packer as char16_t; entry_name.cpp instantiates them for both.
#pragma once

#include <cstddef>

// The first rule a name breaks, in the order they are checked.
enum class EntryNameRule {
  kNone,                // the launcher may create the name
  kEmpty,               // no units at all
  kTooLong,             // more than kMaxNameUnits units
  kEmptyComponent,      // a leading, trailing or doubled backslash
  kControlCharacter,    // a unit below U+0020
  kReservedCharacter,   // one of <>:"/|?*
  kTrailingDotOrBlank,  // which Windows drops; covers ".", ".." and names of dots and blanks
  kDeviceName,       // CON, PRN, AUX, NUL, COM0-9, LPT0-9, COM¹²³, LPT¹²³, CONIN$, CONOUT$,
                     // with any extension
  kPartialFileName,  // ends in kPartialFileSuffix, in any ASCII case
};

// The launcher writes each file under its name with this suffix and renames it when complete,
// so no entry may carry it: the file in progress would take the other one's place.
constexpr char kPartialFileSuffix[] = ".tarnic-partial";
constexpr size_t kPartialFileSuffixUnits = sizeof kPartialFileSuffix - 1;

// Where a name breaks `rule`, as unit offsets into the name.
struct EntryNameFault {
  EntryNameRule rule;
  // The component at fault (for kEmpty and kTooLong, the whole name).
  size_t componentStart;
  size_t componentUnits;
  // The units at fault inside it: the character, the final dot or blank, the device name as
  // Windows reads it (the part before the first dot, trailing blanks dropped), or the suffix.
  size_t faultStart;
  size_t faultUnits;
};

// The first fault of `name` (`units` long, no terminator needed), or rule kNone.
template <typename Unit>
EntryNameFault findEntryNameFault(const Unit* name, size_t units);

// The same for one component, in which a backslash is an ordinary unit: the caller that builds
// names from components must refuse it.
template <typename Unit>
EntryNameFault findEntryComponentFault(const Unit* component, size_t units);

// True when the launcher may create `name`: findEntryNameFault finds nothing.
template <typename Unit>
bool isCreatableEntryName(const Unit* name, size_t units);
