#include "packer/messages/nearest_name.h"

#include <algorithm>
#include <cstdint>

size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) {
    for (size_t j = 0; j <= b.size(); ++j) {
      if (i == 0 || j == 0) {
        d[i][j] = i + j;
        continue;
      }
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

std::string nearestName(std::string_view typed, const std::vector<std::string>& candidates) {
  const std::string* nearest = nullptr;
  size_t best = SIZE_MAX;
  for (const std::string& candidate : candidates) {
    const size_t distance = editDistance(typed, candidate);
    if (distance < best && 3 * distance <= candidate.size()) {
      nearest = &candidate, best = distance;
    }
  }
  if (nearest || typed.size() < kShortestStart) {
    return nearest ? *nearest : "";
  }
  for (const std::string& candidate : candidates) {
    if (candidate.compare(0, typed.size(), typed) == 0) {
      return candidate;
    }
  }
  return "";
}
