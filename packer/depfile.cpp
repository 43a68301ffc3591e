#include "packer/depfile.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "packer/messages/pack_error.h"
#include "packer/system/file_system.h"
#include "packer/system/output_file.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kLineBreakProblem =
    "cannot be named in a depfile: the name holds a line break";

bool holdsLineBreak(const fs::path& path) {
  const std::string text = fs::absolute(path).generic_u8string();
  return text.find_first_of("\r\n") != std::string::npos;
}

// `path` as make writes a prerequisite: blanks, '#' and ':' escaped by a backslash, with the
// backslashes before them doubled (2N+1 backslashes and a blank read as N and the blank), and
// '$' doubled. An unescaped ':' would end the rule's targets. A drive's colon ("C:/") stays as
// it is: make and ninja on Windows take it so, and CMake's reading of depfiles would turn "\:"
// there into a folder.
std::string escaped(const fs::path& path) {
  if (holdsLineBreak(path)) {
    throw pathError(path, kLineBreakProblem);
  }
  const fs::path absolute = fs::absolute(path);
  std::string out = absolute.root_name().generic_u8string();
  const std::string text = absolute.generic_u8string().substr(out.size());
  size_t backslashes = 0;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '#' || c == ':') {
      out.append(backslashes + 1, '\\');
    } else if (c == '$') {
      out += '$';
    }
    backslashes = c == '\\' ? backslashes + 1 : 0;
    out += c;
  }
  return out;
}

}  // namespace

std::vector<std::string> depfileProblems(const std::vector<fs::path>& paths) {
  std::vector<std::string> problems;
  for (const fs::path& path : paths) {
    if (holdsLineBreak(path)) {
      problems.push_back(pathError(path, kLineBreakProblem).what());
    }
  }
  return problems;
}

void writeDepfile(const fs::path& depfile, const fs::path& output,
                  const std::vector<fs::path>& inputs) {
  std::string text = escaped(output) + ":";
  for (const fs::path& input : inputs) {
    text += " \\\n  " + escaped(input);
  }
  text += "\n";
  OutputFile file(fs::absolute(depfile));
  if (std::fwrite(text.data(), 1, text.size(), file.stream()) != text.size()) {
    throw pathError(depfile, std::string("cannot be written: ") + std::strerror(errno));
  }
  file.commit();
}
