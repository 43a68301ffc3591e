// The launcher's environment variables, named in ASCII in the program. Values are UTF-16;
// a value read is a new heap copy that the caller keeps, or null when the variable is missing,
// empty or too long to read.
#pragma once

#include <cstddef>

// Units of the widened name buffer, terminator included: names have at most 39 characters.
constexpr size_t kEnvironmentNameUnits = 40;
// Units of the buffer a value is read into, terminator included.
constexpr size_t kEnvironmentValueUnits = 32768;

// Widens `name` byte by byte in the runtime's default locale into `wide` of `capacity` units.
// Ends the process abnormally when a byte does not become exactly one wide character or the
// name and its terminator do not fit.
void widenAsciiName(const char* name, wchar_t* wide, size_t capacity);

// The value of the variable `name`, or null.
wchar_t* readEnvironmentW(const wchar_t* name);
wchar_t* readEnvironment(const char* name);

// Sets (or with removeEnvironment deletes) a variable of the process environment, which the
// child inherits. Returns the system's success flag; the launcher never needs to look at it.
bool writeEnvironment(const char* name, const wchar_t* value);
bool removeEnvironment(const char* name);
