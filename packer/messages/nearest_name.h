// The name a user most likely meant when a name they typed is not known: a key of the
// configuration, a spec token, a file, an option. One rule for all of them, so that every
// "did you mean" of the packer answers alike.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The edits (insertions, deletions, substitutions and swaps of neighbours) that turn `a` into
// `b`: a swap counts once, as typing makes them.
size_t editDistance(std::string_view a, std::string_view b);

// The candidate nearest to `typed` in edits, when it is within a third of the candidate's
// length (the first of equally near ones), else the first that starts with `typed` when that
// is at least kShortestStart long (a name typed short); "" when there is none.
constexpr size_t kShortestStart = 3;
std::string nearestName(std::string_view typed, const std::vector<std::string>& candidates);
