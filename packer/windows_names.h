// What Windows can store as a file name: the rules a region's names must meet so that the
// launcher can create every file under the target directory.
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

// The unit that `unit` compares as when letter case is ignored: the simple upper-case pairs of
// ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic and the full-width Latin letters.
char16_t foldCase(char16_t unit);

// Two of `names` (backslash-separated files), or of the folders above them, that Windows would
// make one: equal when case is ignored, unless both are the same folder. This includes a name
// given twice and a file named like a folder. nullopt when there are none.
std::optional<std::pair<std::u16string, std::u16string>> findNameConflict(
    const std::vector<std::u16string>& names);
