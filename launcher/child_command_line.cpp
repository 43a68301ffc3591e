#include "launcher/child_command_line.h"

#include <windows.h>
#include <shellapi.h>  // CommandLineToArgvW

#include <cwchar>

#include "diagnostics/fatal.h"
#include "paths/path_buffer.h"
#include "paths/system_paths.h"

namespace {

// Characters that make an argument need quotes; carriage return and form feed do not.
constexpr wchar_t kQuotingCharacters[] = L" \t\n\v\"";

wchar_t commandLine[kCommandLineUnits];

// The line under construction, with every append bounded by its room.
struct Line {
  wchar_t* text;
  size_t room;
  size_t length;

  void append(wchar_t c, size_t times = 1) {
    if (times >= room - length) {
      endAbnormally();
    }
    wmemset(text + length, c, times);
    length += times;
    text[length] = L'\0';
  }
};

bool needsQuotes(const wchar_t* argument) {
  return argument[0] == L'\0' || wcspbrk(argument, kQuotingCharacters) != nullptr;
}

// Backslashes are literal except in a run before a quote or the closing quote, where each
// must be doubled; a quote inside is escaped with one more backslash.
void appendQuoted(Line& line, const wchar_t* argument) {
  line.append(L'"');
  const wchar_t* c = argument;
  for (;;) {
    size_t backslashes = 0;
    for (; *c == L'\\'; ++c) {
      ++backslashes;
    }
    if (*c == L'\0') {
      line.append(L'\\', 2 * backslashes);
      break;
    }
    if (*c == L'"') {
      line.append(L'\\', 2 * backslashes + 1);
    } else {
      line.append(L'\\', backslashes);
    }
    line.append(*c++);
  }
  line.append(L'"');
}

void appendArgument(Line& line, const wchar_t* argument) {
  if (!needsQuotes(argument)) {
    for (const wchar_t* c = argument; *c != L'\0'; ++c) {
      line.append(*c);
    }
    return;
  }
  appendQuoted(line, argument);
}

}  // namespace

void formatCommandLine(const wchar_t* const* arguments, int count, wchar_t* line, size_t room) {
  Line out{line, room, 0};
  out.text[0] = L'\0';
  for (int i = 0; i < count; ++i) {
    if (i > 0) {
      out.append(L' ');
    }
    appendArgument(out, arguments[i]);
  }
}

wchar_t* buildChildCommandLine() {
  int count = 0;
  // The list lives until the process ends.
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) {
    failOutOfMemory();
  }
  commandLine[0] = L'\0';
  // The splitter's list is writable; the own path is only read from it.
  wchar_t* ownName = const_cast<wchar_t*>(getOwnExecutablePath());
  if (ownName[0] == L'\0') {
    endAbnormally();
  }
  if (count > 0) {
    arguments[0] = ownName;
  }
  formatCommandLine(arguments, count, commandLine, kCommandLineUnits);
  return commandLine;
}
