// The child's command line: the launcher's own, split by the system's rules, its first element
// replaced by the launcher's module path and every element re-quoted so that the child splits
// it back unchanged.
#pragma once

#include <cstddef>

// Units of the command-line buffer, terminator included: at most 32767 characters.
constexpr size_t kCommandLineUnits = 32768;

// Builds the child command line into a process-wide writable buffer and returns it. Ends the
// process abnormally when the line would exceed the buffer or the module path is not
// available, and with "Error, couldn't allocate memory." when the system cannot split the
// launcher's command line.
wchar_t* buildChildCommandLine();

// Writes `count` arguments into `line` of `room` units: blank-separated, each in the form that
// the system's splitter gives back unchanged; an empty argument becomes "". Ends the process
// abnormally when the text does not fit.
void formatCommandLine(const wchar_t* const* arguments, int count, wchar_t* line, size_t room);
