// Patterns that leave files and folders of an application folder out of a pack: the
// configuration's application.exclude and the region command's --exclude.
//
// A pattern is a path relative to the application folder with '/' (or '\') separators. In a
// name, "*" stands for any run of characters and "?" for one; a whole name "**" stands for any
// number of folders, none included. A pattern of one name ("*.pdb", "__pycache__") is matched
// against the name of every file and folder at any depth; a longer one ("tests/**",
// "bin/*.map") against the whole relative name. Letter case is ignored as Windows ignores it.
// A folder that matches is left out with everything below it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ExcludePattern {
  std::string text;                        // as written, for messages
  std::vector<std::u16string> components;  // folded with foldCase
};

// The pattern of `text` (UTF-8), or nullopt and `why` when it is empty, holds an empty, "." or
// ".." name (which no entry has), or is not valid UTF-8.
std::optional<ExcludePattern> parseExcludePattern(std::string_view text, std::string& why);

// The first of `patterns` that matches `name`, a relative name with backslash separators as a
// region holds it; null when none does. Folders above `name` are not looked at.
const ExcludePattern* matchingPattern(const std::vector<ExcludePattern>& patterns,
                                      std::u16string_view name);

// The same for `name` or any folder above it: whether a pack leaves it out.
const ExcludePattern* excludingPattern(const std::vector<ExcludePattern>& patterns,
                                       std::u16string_view name);
