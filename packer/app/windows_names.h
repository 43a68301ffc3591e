// What Windows can store as a file name, worded for the packer's user: the rules of
// rules/entry_name.h, which the launcher applies too, and the names Windows takes for one.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Why Windows cannot store `component` (one folder or file name, no separators) as it is, or ""
// when it can: control characters, any of <>:"/\|?*, a trailing dot or blank, device names.
std::string windowsComponentProblem(std::u16string_view component);

// The same for a relative name whose components are separated by backslashes; adds the empty
// name, empty components and names longer than kMaxNameUnits.
std::string windowsNameProblem(std::u16string_view name);

// The unit that `unit` compares as when letter case is ignored: its simple upper-case mapping
// in Unicode's data, as Windows file systems fold names one UTF-16 unit at a time. Surrogates,
// and units whose mapping leaves the Basic Multilingual Plane, stay as they are.
char16_t foldCase(char16_t unit);

// Every pair of `names` (backslash-separated files), or of the folders above them, that Windows
// would make one: equal when case is ignored, unless both are the same folder. This includes a
// name given twice and a file named like a folder. Each pair once, the earlier name first, in
// the order they are met; none when there are none.
std::vector<std::pair<std::u16string, std::u16string>> findNameConflicts(
    const std::vector<std::u16string>& names);
