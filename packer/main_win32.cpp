// tarnic-pack on Windows. The command line arrives as UTF-16 and the packer takes it as UTF-8
// (file_system_win32.cpp makes paths of it again); its messages go out as UTF-8, which a console
// shows right while its output code page is UTF-8, as the packer makes it for its run.
#include <windows.h>

#include <string>
#include <vector>

#include "packer/command_line.h"
#include "packer/messages/text_encoding.h"

namespace {

UINT consoleCodePage = 0;  // the console's own output code page; 0 while it is not changed

void restoreConsoleCodePage() {
  if (consoleCodePage != 0) {
    SetConsoleOutputCP(consoleCodePage);
  }
}

// Ctrl-C, Ctrl-Break and closing the console end the process (the system's handler runs after
// this one) without unwinding: the code page is restored here first.
BOOL WINAPI restoreOnControl(DWORD /* event */) {
  restoreConsoleCodePage();
  return FALSE;
}

// Gives the console, when there is one, the UTF-8 output code page until the run ends.
void useUtf8Console() {
  const UINT codePage = GetConsoleOutputCP();
  if (codePage == 0 || codePage == CP_UTF8) {
    return;
  }
  if (!SetConsoleCtrlHandler(restoreOnControl, /* add */ TRUE)) {
    return;
  }
  if (SetConsoleOutputCP(CP_UTF8)) {
    consoleCodePage = codePage;
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) {
    const std::u16string_view units(reinterpret_cast<const char16_t*>(argv[i]));
    std::string text = utf16ToUtf8(units);
    // In UTF-8 an unpaired surrogate would become U+FFFD, and a name would name another file.
    if (!validUtf16(units)) {
      printError(("argument " + std::to_string(i) + " \"" + text +
                  "\" is not valid UTF-16 (it holds an unpaired surrogate)")
                     .c_str());
      return kUsageStatus;
    }
    arguments.push_back(std::move(text));
  }
  std::vector<char*> pointers;
  for (std::string& argument : arguments) {
    pointers.push_back(argument.data());
  }
  pointers.push_back(nullptr);
  useUtf8Console();
  const int status = runPacker(argc, pointers.data());
  restoreConsoleCodePage();
  return status;
}
