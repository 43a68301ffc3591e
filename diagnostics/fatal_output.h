// Where the fatal lines go, one file per kind of launcher, chosen by the build: a console
// launcher writes them to its standard streams (fatal_output_console.cpp); a windowed one
// writes them there too when the stream has a handle, and shows the line in a message box when
// it has none (fatal_output_windowed.cpp).
#pragma once

#include <cstdarg>

enum class FatalStream { kOutput, kError };

// Writes one line, made by the printf-style `format` (which ends in a line feed), to `stream`
// with one call of the runtime library, which hands standard error's text over before it
// returns and buffers standard output's until the exit.
void writeFatalLine(FatalStream stream, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Writes one line to standard error: `before`, `path` and `after` (ASCII text around a path)
// and a line break. Wherever the line is shown as text, on a console or in a message box, the
// path is shown as it is; a file or a pipe gets the line in the ANSI code page, in which a
// character it lacks becomes '?', as the runtime has always written it there.
void writeFatalPathLine(const char* before, const wchar_t* path, const char* after);

// Room for the longest line: a path of 4096 units in the ANSI code page and the message around
// it, or a message and the system's text for a code.
constexpr int kFatalLineBytes = 64 * 1024;
// Room for the longest line in UTF-16, a path's units one to one.
constexpr int kFatalLineUnits = kFatalLineBytes;

// The path line in UTF-16 into `line` (kFatalLineUnits units), its line break "\r\n" as the
// runtime's text mode writes it, or none with `withLineBreak` false. A line that does not fit
// ends the process abnormally.
void formatFatalPathLine(wchar_t* line, const char* before, const wchar_t* path, const char* after,
                         bool withLineBreak);

// Formats one line into `line` (kFatalLineBytes bytes) and terminates it; a line that does not
// fit ends the process abnormally.
void formatFatalLine(char* line, const char* format, va_list arguments);

// writeFatalLine's work for a stream that has a handle (fatal_stream.cpp, in both kinds).
void printFatalLine(FatalStream stream, const char* format, va_list arguments);
// writeFatalPathLine's work for a standard error that has a handle (fatal_stream.cpp).
void printFatalPathLine(const char* before, const wchar_t* path, const char* after);
