// Expansion of specs: path templates in which a name between braces, such as {CACHE_DIR},
// stands for a value known only at run time.
#pragma once

#include <cstddef>

// Expands `spec` into `output`, which has `room` units, terminator included; the output always
// holds a NUL-terminated string, from the start of the buffer.
//
// Token names are matched without regard to ASCII case. A "{" opens a name (discarding one
// already open); a name still open at the end is dropped. TEMP, HOME and CACHE_DIR remove every
// trailing backslash from the output after their value.
//
// Returns false, leaving what was written before the failing step, for: a name that is not a
// token (the empty name and one longer than any token's included), a "}" with no open name, a
// literal character that does not fit, the launcher's path not available to PROGRAM,
// PROGRAM_BASE or PROGRAM_DIR, or a known folder that the system does not report.
// Ends the process abnormally when a token's value does not fit, or when
// TARNIC_ONEFILE_PARENT holds a character that is not a decimal digit.
//
// RANDOM, TIME_US and TIME reuse TARNIC_ONEFILE_RANDOM, _TIME_US and _START when set, and
// otherwise make a value and store it there.
bool expandSpec(wchar_t* output, const wchar_t* spec, size_t room);
