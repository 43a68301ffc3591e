// The child's command line: the launcher's module path, the application's fixed arguments and
// then the launcher's own command line after its first element as the raw text, so that the
// child parses the user's arguments exactly as it would have parsed them had the user started
// it directly, whatever its parser's rules.
#pragma once

#include <cstddef>

#include "configuration/launcher_values.h"
#include "rules/fixed_arguments.h"

// Where the first element of `line` ends, found as CommandLineToArgvW and the system's C runtime
// find the end of argv[0]: one that starts with a double quote runs to the next double quote,
// which it includes, any other to the first blank or tab. (Wine's C runtime reads quotes and
// backslashes after the first character too; for a first element that holds none, or is a
// quoted path followed by a blank, every parser agrees.)
const wchar_t* afterFirstElement(const wchar_t* line);

// Writes into `line` of `room` units: `program`, in double quotes when it holds a blank or tab
// (the parsers take the first element without escapes); then a blank and each of the `fixed`
// arguments with every {TARGET_DIR} replaced by `targetDirectory`, quoted and escaped so that
// either parser gives it back as one argument; then `tail` unchanged, after a blank when it
// starts with neither a blank nor a tab. Ends the process abnormally when the text does not
// fit or a fixed argument holds another brace.
void formatChildCommandLine(const wchar_t* program, FixedArguments fixed,
                            const wchar_t* targetDirectory, const wchar_t* tail, wchar_t* line,
                            size_t room);

// The child's command line in a process-wide writable buffer of kCommandLineUnits units, from
// the launcher's module path, its fixed arguments and GetCommandLineW. Ends the process
// abnormally when the line would exceed the buffer or the module path is not available.
wchar_t* buildChildCommandLine(const wchar_t* targetDirectory);
