// The system's text for a Windows error code, for the packer's messages (Windows only).
#pragma once

#include <windows.h>

#include <string>

// The system's text for `code` in UTF-8, without its line break, with the code in brackets:
// "[Error 5] Access is denied." The code alone when the system has no text for it.
std::string windowsErrorText(DWORD code);
