#include "launcher/child_command_line.h"

#include <windows.h>

#include <cwchar>

#include "diagnostics/fatal.h"
#include "paths/system_paths.h"

namespace {

// Characters that make an argument need quotes; carriage return and form feed do not.
constexpr wchar_t kQuotingCharacters[] = L" \t\n\v\"";
// What separates elements, and ends a first element that does not start with a quote.
constexpr wchar_t kBlanks[] = L" \t";

wchar_t commandLine[kCommandLineUnits];
// One fixed argument with its tokens expanded, before it is quoted.
wchar_t expandedArgument[kCommandLineUnits];

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

  void appendText(const wchar_t* source) {
    size_t units = wcslen(source);
    if (units >= room - length) {
      endAbnormally();
    }
    wmemcpy(text + length, source, units + 1);
    length += units;
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
  if (needsQuotes(argument)) {
    appendQuoted(line, argument);
  } else {
    line.appendText(argument);
  }
}

// A path holds no double quote, so quotes around it are all the first element needs.
void appendProgram(Line& line, const wchar_t* program) {
  bool quoted = wcspbrk(program, kBlanks) != nullptr;
  if (quoted) {
    line.append(L'"');
  }
  line.appendText(program);
  if (quoted) {
    line.append(L'"');
  }
}

// `argument` with its tokens expanded. The packer refuses any other brace, so one here can
// only come from a damaged image.
const wchar_t* expandFixedArgument(const wchar_t* argument, const wchar_t* targetDirectory) {
  Line out{expandedArgument, kCommandLineUnits, 0};
  out.text[0] = L'\0';
  size_t length = wcslen(argument);
  size_t walked = walkFixedArgument(
      argument, length, [&out](wchar_t unit) { out.append(unit); },
      [&out, targetDirectory] { out.appendText(targetDirectory); });
  if (walked != length) {
    endAbnormally();
  }
  return expandedArgument;
}

void appendFixedArguments(Line& line, FixedArguments fixed, const wchar_t* targetDirectory) {
  const wchar_t* end = fixed.units + fixed.length;
  for (const wchar_t* argument = fixed.units; argument < end; argument += wcslen(argument) + 1) {
    line.append(L' ');
    appendArgument(line, expandFixedArgument(argument, targetDirectory));
  }
}

// The user's text as typed; a blank keeps it apart from what precedes it, as the first
// element's closing quote did.
void appendTail(Line& line, const wchar_t* tail) {
  if (tail[0] != L'\0' && wcschr(kBlanks, tail[0]) == nullptr) {
    line.append(L' ');
  }
  line.appendText(tail);
}

}  // namespace

const wchar_t* afterFirstElement(const wchar_t* line) {
  if (line[0] == L'"') {
    const wchar_t* closing = wcschr(line + 1, L'"');
    return closing == nullptr ? line + wcslen(line) : closing + 1;
  }
  return line + wcscspn(line, kBlanks);
}

void formatChildCommandLine(const wchar_t* program, FixedArguments fixed,
                            const wchar_t* targetDirectory, const wchar_t* tail, wchar_t* line,
                            size_t room) {
  Line out{line, room, 0};
  out.text[0] = L'\0';
  appendProgram(out, program);
  appendFixedArguments(out, fixed, targetDirectory);
  appendTail(out, tail);
}

wchar_t* buildChildCommandLine(const wchar_t* targetDirectory) {
  const wchar_t* ownName = getOwnExecutablePath();
  if (ownName[0] == L'\0') {
    endAbnormally();
  }
  formatChildCommandLine(ownName, fixedArguments(), targetDirectory,
                         afterFirstElement(GetCommandLineW()), commandLine, kCommandLineUnits);
  return commandLine;
}
