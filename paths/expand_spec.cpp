#include "paths/expand_spec.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>

#include "configuration/launcher_values.h"
#include "diagnostics/fatal.h"
#include "paths/case_folding.h"
#include "paths/environment.h"
#include "paths/number_text.h"
#include "paths/path_buffer.h"
#include "paths/published_values.h"
#include "paths/system_paths.h"
#include "rules/spec_tokens.h"

namespace {

constexpr wchar_t kProgramSpec[] = L"{PROGRAM}";
constexpr wchar_t kExeSuffix[] = L".exe";
constexpr size_t kExeSuffixChars = 4;

bool equalIgnoringAsciiCase(const wchar_t* a, const wchar_t* b) {
  for (; *a != L'\0' && *b != L'\0'; ++a, ++b) {
    if (foldAsciiCase(*a) != foldAsciiCase(*b)) {
      return false;
    }
  }
  return *a == *b;
}

// The output under construction: the caller's buffer, its room and the characters written.
struct Output {
  wchar_t* text;
  size_t room;
  size_t length;

  wchar_t* end() const { return text + length; }
  size_t unitsLeft() const { return room - length; }
  // Re-reads the length after a system call or inner expansion wrote at the end.
  void settle() { length += wcslen(end()); }
  void cutAt(size_t newLength) {
    length = newLength;
    text[length] = L'\0';
  }
};

void appendValue(Output& out, const wchar_t* value) {
  appendBounded(out.end(), out.unitsLeft(), value);
  out.settle();
}

void trimTrailingBackslashes(Output& out) {
  while (out.length > 0 && out.text[out.length - 1] == L'\\') {
    out.cutAt(out.length - 1);
  }
}

void appendTemp(Output& out) {
  size_t before = out.length;
  DWORD length = GetTempPathW(static_cast<DWORD>(out.unitsLeft()), out.end());
  // A failed call or a path that does not fit contributes nothing.
  if (length == 0 || length >= out.unitsLeft()) {
    out.cutAt(before);
  } else {
    out.settle();
  }
}

// The own path is accepted as cut when it does not fit, as the system cuts it to its buffer.
bool appendProgram(Output& out) {
  const wchar_t* path = getOwnExecutablePath();
  if (path[0] == L'\0') {
    return false;
  }
  size_t length = wcslen(path);
  if (length >= out.unitsLeft()) {
    length = out.unitsLeft() - 1;
  }
  wmemcpy(out.end(), path, length);
  out.end()[length] = L'\0';
  out.settle();
  return true;
}

// Expands "{PROGRAM}" at the end of the output; returns the value's start, or null.
const wchar_t* appendProgramValue(Output& out) {
  wchar_t* start = out.end();
  if (!expandSpec(start, kProgramSpec, out.unitsLeft())) {
    return nullptr;
  }
  out.settle();
  return start;
}

bool appendProgramBase(Output& out) {
  const wchar_t* value = appendProgramValue(out);
  if (value == nullptr) {
    return false;
  }
  size_t length = wcslen(value);
  if (length >= kExeSuffixChars &&
      equalIgnoringAsciiCase(value + length - kExeSuffixChars, kExeSuffix)) {
    out.cutAt(out.length - kExeSuffixChars);
  }
  return true;
}

bool appendProgramDir(Output& out) {
  const wchar_t* value = appendProgramValue(out);
  if (value == nullptr) {
    return false;
  }
  const wchar_t* backslash = wcsrchr(value, L'\\');
  if (backslash != nullptr) {
    out.cutAt(backslash - out.text);
  }
  return true;
}

void appendPid(Output& out) {
  const wchar_t* parent = readEnvironment(kParentVariable);
  if (parent != nullptr) {
    for (const wchar_t* c = parent; *c != L'\0'; ++c) {
      if (*c < L'0' || *c > L'9') {
        endAbnormally();
      }
    }
    appendValue(out, parent);
    return;
  }
  wchar_t text[kNumberUnits];
  formatDecimal(GetCurrentProcessId(), /* digits at least */ 1, text);
  appendValue(out, text);
}

bool appendFolder(Output& out, int folderId) {
  if (!appendKnownFolder(out.end(), folderId, out.unitsLeft())) {
    return false;
  }
  out.settle();
  trimTrailingBackslashes(out);
  return true;
}

// RANDOM, TIME_US and TIME: the published value when there is one, else a new one, published.
void appendPublished(Output& out, const char* variable, void (*make)(wchar_t*)) {
  const wchar_t* value = readEnvironment(variable);
  wchar_t made[kPublishedValueUnits];
  if (value == nullptr) {
    make(made);
    writeEnvironment(variable, made);
    value = made;
  }
  appendValue(out, value);
}

bool appendToken(Output& out, SpecToken token) {
  switch (token) {
    case SpecToken::kTemp:
      appendTemp(out);
      trimTrailingBackslashes(out);
      return true;
    case SpecToken::kProgram:
      return appendProgram(out);
    case SpecToken::kProgramBase:
      return appendProgramBase(out);
    case SpecToken::kProgramDir:
      return appendProgramDir(out);
    case SpecToken::kPid:
      appendPid(out);
      return true;
    case SpecToken::kHome:
      return appendFolder(out, CSIDL_PROFILE);
    case SpecToken::kCacheDir:
      return appendFolder(out, CSIDL_LOCAL_APPDATA);
    case SpecToken::kCompany:
      appendValue(out, companyName());
      return true;
    case SpecToken::kProduct:
      appendValue(out, productName());
      return true;
    case SpecToken::kVersion:
      appendValue(out, versionString());
      return true;
    case SpecToken::kFileVersion:
      appendValue(out, fileVersionString());
      return true;
    case SpecToken::kProductVersion:
      appendValue(out, productVersionString());
      return true;
    case SpecToken::kRandom:
      appendPublished(out, kRandomVariable, makeRandomTag);
      return true;
    case SpecToken::kTimeUs:
      appendPublished(out, kTimeUsVariable, makeTimeUs);
      return true;
    case SpecToken::kTime:
      appendPublished(out, kStartVariable, makeStartTime);
      return true;
    case SpecToken::kUnknown:
      break;
  }
  return false;
}

bool appendLiteral(Output& out, wchar_t c) {
  if (out.unitsLeft() < 2) {
    return false;
  }
  out.text[out.length++] = c;
  out.text[out.length] = L'\0';
  return true;
}

}  // namespace

bool expandSpec(wchar_t* output, const wchar_t* spec, size_t room) {
  Output out{output, room, 0};
  out.text[0] = L'\0';
  bool expanded = true;
  walkSpec(spec, wcslen(spec), [&](const SpecPart& part) {
    switch (part.kind) {
      case SpecPartKind::kLiteral:
        for (size_t i = 0; i < part.units && expanded; ++i) {
          expanded = appendLiteral(out, spec[part.start + i]);
        }
        break;
      case SpecPartKind::kName:
        expanded =
            appendToken(out, part.token == nullptr ? SpecToken::kUnknown : part.token->token);
        break;
      case SpecPartKind::kStrayClose:
        // Braces only ever delimit token names: a closing one outside a name is no literal.
        expanded = false;
        break;
      case SpecPartKind::kDiscardedName:
      case SpecPartKind::kUnclosedName:
        // Names do not nest: one cut short by another "{" or by the spec's end is dropped.
        break;
    }
    return expanded;
  });
  return expanded;
}
