// Placeholders: what `tarnic-pack init` writes into a configuration where it knows no value,
// such as "<company>", and what the packer refuses until they are replaced. No value a user
// means can be one: "<" and ">" cannot be part of a path, and no version string or name is
// written between them.
#pragma once

#include <string_view>

constexpr char kPlaceholderOpen = '<';
constexpr char kPlaceholderClose = '>';

// Whether `value` is a placeholder as a whole.
inline bool isPlaceholder(std::string_view value) {
  return value.size() >= 2 && value.front() == kPlaceholderOpen &&
         value.back() == kPlaceholderClose && value.find(kPlaceholderClose) == value.size() - 1;
}

// What a problem about a placeholder says after naming it.
constexpr const char* kPlaceholderFix = "is a placeholder that tarnic-pack init wrote: replace it";
