#include "packer/exclude_pattern.h"

#include "packer/text_encoding.h"
#include "packer/windows_names.h"

namespace {

constexpr std::u16string_view kAnyFolders = u"**";

std::u16string folded(std::u16string_view text) {
  std::u16string result;
  for (char16_t unit : text) {
    result += foldCase(unit);
  }
  return result;
}

std::vector<std::u16string> splitName(std::u16string_view name, std::u16string_view separators) {
  std::vector<std::u16string> components;
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || separators.find(name[i]) != std::u16string_view::npos) {
      components.emplace_back(name.substr(start, i - start));
      start = i + 1;
    }
  }
  return components;
}

// One name against one folded component of a pattern; `name` is folded as well.
bool matchesComponent(std::u16string_view pattern, std::u16string_view name) {
  size_t p = 0, n = 0;
  // Where the last "*" was met, and the name's position it matched up to: on a mismatch that
  // star takes one more unit.
  size_t star = std::u16string_view::npos, starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
      ++p, ++n;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      starName = n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') {
    ++p;
  }
  return p == pattern.size();
}

bool matchesComponents(const std::vector<std::u16string>& pattern, size_t p,
                       const std::vector<std::u16string>& name, size_t n) {
  if (p == pattern.size()) {
    return n == name.size();
  }
  if (pattern[p] == kAnyFolders) {
    for (size_t skipped = n; skipped <= name.size(); ++skipped) {
      if (matchesComponents(pattern, p + 1, name, skipped)) {
        return true;
      }
    }
    return false;
  }
  return n < name.size() && matchesComponent(pattern[p], name[n]) &&
         matchesComponents(pattern, p + 1, name, n + 1);
}

bool matches(const ExcludePattern& pattern, const std::vector<std::u16string>& name) {
  if (pattern.components.size() == 1) {
    return matchesComponent(pattern.components.front(), name.back());
  }
  return matchesComponents(pattern.components, 0, name, 0);
}

}  // namespace

std::optional<ExcludePattern> parseExcludePattern(std::string_view text, std::string& why) {
  std::optional<std::u16string> units = utf8ToUtf16(text);
  if (!units) {
    why = "is not valid UTF-8";
    return std::nullopt;
  }
  // A leading or trailing separator says nothing more: every pattern starts at the folder, and
  // a folder that matches is left out whole.
  std::u16string_view trimmed = *units;
  while (!trimmed.empty() && (trimmed.front() == u'/' || trimmed.front() == u'\\')) {
    trimmed.remove_prefix(1);
  }
  while (!trimmed.empty() && (trimmed.back() == u'/' || trimmed.back() == u'\\')) {
    trimmed.remove_suffix(1);
  }
  if (trimmed.empty()) {
    why = "matches nothing: it is empty";
    return std::nullopt;
  }
  ExcludePattern pattern{std::string(text), splitName(folded(trimmed), u"/\\")};
  for (const std::u16string& component : pattern.components) {
    if (component.empty() || component == u"." || component == u"..") {
      why = "matches nothing: it holds an empty, \".\" or \"..\" name";
      return std::nullopt;
    }
  }
  return pattern;
}

const ExcludePattern* matchingPattern(const std::vector<ExcludePattern>& patterns,
                                      std::u16string_view name) {
  if (patterns.empty()) {
    return nullptr;
  }
  const std::vector<std::u16string> components = splitName(folded(name), u"\\");
  for (const ExcludePattern& pattern : patterns) {
    if (matches(pattern, components)) {
      return &pattern;
    }
  }
  return nullptr;
}

const ExcludePattern* excludingPattern(const std::vector<ExcludePattern>& patterns,
                                       std::u16string_view name) {
  for (size_t end = name.find(u'\\'); end != std::u16string_view::npos;
       end = name.find(u'\\', end + 1)) {
    if (const ExcludePattern* pattern = matchingPattern(patterns, name.substr(0, end))) {
      return pattern;
    }
  }
  return matchingPattern(patterns, name);
}
