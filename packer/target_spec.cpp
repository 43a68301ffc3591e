#include "packer/target_spec.h"

#include "packer/text_encoding.h"

namespace {

constexpr const char* kTokenNames[] = {"TEMP",    "PROGRAM", "PROGRAM_BASE", "PROGRAM_DIR",
                                       "PID",     "HOME",    "CACHE_DIR",    "COMPANY",
                                       "PRODUCT", "VERSION", "FILE_VERSION", "PRODUCT_VERSION",
                                       "RANDOM",  "TIME_US", "TIME"};

char16_t asciiUpper(char16_t unit) {
  return unit >= u'a' && unit <= u'z' ? unit - 0x20 : unit;
}

bool isTokenName(std::u16string_view name) {
  for (const char* token : kTokenNames) {
    size_t i = 0;
    while (token[i] != '\0' && i < name.size() && asciiUpper(name[i]) == token[i]) {
      ++i;
    }
    if (token[i] == '\0' && i == name.size()) {
      return true;
    }
  }
  return false;
}

std::string quoted(std::u16string_view text) {
  return "\"" + utf16ToUtf8(text) + "\"";
}

}  // namespace

std::string targetSpecProblem(std::u16string_view spec) {
  if (spec.empty()) {
    return "is empty";
  }
  if (spec.size() > kMaxTargetSpecUnits) {
    return "is " + std::to_string(spec.size()) + " UTF-16 units long; the launcher takes at most " +
           std::to_string(kMaxTargetSpecUnits);
  }
  size_t open = std::u16string_view::npos;
  for (size_t i = 0; i < spec.size(); ++i) {
    if (spec[i] == u'{') {
      if (open != std::u16string_view::npos) {
        return "has a \"{\" inside the open name " + quoted(spec.substr(open, i - open));
      }
      open = i;
    } else if (spec[i] == u'}') {
      if (open == std::u16string_view::npos) {
        return "has a \"}\" with no open name";
      }
      const std::u16string_view name = spec.substr(open + 1, i - open - 1);
      if (name.empty()) {
        return "has an empty token name \"{}\"";
      }
      if (!isTokenName(name)) {
        return "has the unknown token " + quoted(spec.substr(open, i - open + 1));
      }
      open = std::u16string_view::npos;
    }
  }
  if (open != std::u16string_view::npos) {
    return "has a \"{\" that is never closed: " + quoted(spec.substr(open));
  }
  return "";
}
