#include "packer/app/exclude_pattern.h"

#include "packer/app/windows_names.h"
#include "packer/messages/text_encoding.h"

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

// Whether `name` matches `pattern`, in which an element that `isAny` accepts stands for any run
// of the name's elements and every other one for the one element that `matchesOne` accepts.
// On a mismatch only the last "any" met takes one more element and the rest start over behind
// it: what lies between two "any"s matches a fixed number of elements, so its first match is
// as good as any later one. O(pattern x name) steps, where trying every split would take
// exponential time in the number of "any"s.
template <typename Sequence, typename IsAny, typename MatchesOne>
bool matchesSequence(const Sequence& pattern, const Sequence& name, IsAny isAny,
                     MatchesOne matchesOne) {
  size_t p = 0, n = 0;
  // Where the last "any" was met, and the name's position it matched up to.
  std::optional<size_t> any;
  size_t anyName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && matchesOne(pattern[p], name[n])) {
      ++p, ++n;
    } else if (p < pattern.size() && isAny(pattern[p])) {
      any = p++;
      anyName = n;
    } else if (any) {
      p = *any + 1;
      n = ++anyName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && isAny(pattern[p])) {
    ++p;
  }
  return p == pattern.size();
}

// One name against one folded component of a pattern; `name` is folded as well.
bool matchesComponent(std::u16string_view pattern, std::u16string_view name) {
  return matchesSequence(
      pattern, name, [](char16_t unit) { return unit == u'*'; },
      [](char16_t unit, char16_t named) { return unit == u'?' || unit == named; });
}

// A whole name, component by component, against a pattern of more than one.
bool matchesComponents(const std::vector<std::u16string>& pattern,
                       const std::vector<std::u16string>& name) {
  auto isAnyFolders = [](const std::u16string& component) { return component == kAnyFolders; };
  return matchesSequence(
      pattern, name, isAnyFolders,
      [&isAnyFolders](const std::u16string& component, const std::u16string& named) {
        return !isAnyFolders(component) && matchesComponent(component, named);
      });
}

bool matches(const ExcludePattern& pattern, const std::vector<std::u16string>& name) {
  if (pattern.components.size() == 1) {
    return matchesComponent(pattern.components.front(), name.back());
  }
  return matchesComponents(pattern.components, name);
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
