#include "packer/config/fixed_argument_checks.h"

#include "packer/messages/text_encoding.h"
#include "rules/fixed_arguments.h"
#include "rules/spec_tokens.h"

namespace {

// The brace at `at` and the name it opens, if any, as the message quotes it.
std::string braceText(std::u16string_view argument, size_t at) {
  size_t units = 1;
  walkSpec(argument.data() + at, argument.size() - at, [&units](const SpecPart& part) {
    units = part.units;
    return false;
  });
  return "\"" + utf16ToUtf8(argument.substr(at, units)) + "\"";
}

// The number of {TARGET_DIR} in a sound argument.
size_t targetDirectoryTokens(const std::u16string& argument) {
  size_t tokens = 0;
  walkFixedArgument(
      argument.data(), argument.size(), [](char16_t) {}, [&tokens] { ++tokens; });
  return tokens;
}

}  // namespace

std::string fixedArgumentProblem(const std::u16string& argument) {
  const size_t walked = walkFixedArgument(
      argument.data(), argument.size(), [](char16_t) {}, [] {});
  if (walked == argument.size()) {
    return "";
  }
  return "holds " + braceText(argument, walked) + " at unit " + std::to_string(walked + 1) +
         ": braces only ever enclose the one token {" + kTargetDirToken + "}";
}

std::string fixedArgumentsLengthProblem(const std::vector<std::u16string>& arguments) {
  size_t longest = 0;
  for (const std::u16string& argument : arguments) {
    longest += longestQuotedFixedArgument(argument.size(), targetDirectoryTokens(argument));
  }
  if (longest <= kFixedArgumentsRoom) {
    return "";
  }
  return "could take " + std::to_string(longest) +
         " characters of the program's command line, quoted and with the longest target "
         "directory; at most " +
         std::to_string(kFixedArgumentsRoom) + " fit beside the launcher's path";
}

std::u16string joinFixedArguments(const std::vector<std::u16string>& arguments) {
  std::u16string units;
  for (const std::u16string& argument : arguments) {
    units += argument;
    units += u'\0';
  }
  return units;
}
