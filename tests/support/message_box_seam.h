// Test-only substitute for the message box of a windowed launcher's fatal output, which reaches
// user32's MessageBoxW through GetProcAddress. A test program that links this object (with the
// linker option its library adds) answers that lookup with a fake, which shows nothing and
// writes what the box would have shown to a handle of the test's choice.
#pragma once

#include <windows.h>

// From now on every message box writes "box: <title> | <text>" and a line feed, in UTF-8, to
// `file` and returns as if its OK button had been pressed.
void recordMessageBoxesTo(HANDLE file);
