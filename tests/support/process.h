// Starting Windows programs from tests: full 32-bit exit codes and both output streams.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct ProcessResult {
  uint32_t exitCode = 0;
  std::string out;  // bytes the program wrote to standard output, as a pipe receives them
  std::string err;  // the same for standard error
  bool timedOut = false;
};

struct ProcessOptions {
  // The child's environment is the test's own with these variables set and removed.
  std::map<std::wstring, std::wstring> setEnvironment;
  std::vector<std::wstring> removeEnvironment;
  std::wstring currentDirectory;  // empty: the test's own
  DWORD timeoutMs = 120000;       // then the process is terminated and timedOut set
  DWORD creationFlags = 0;
  // When set: STARTF_USESHOWWINDOW with this state, as a shortcut set to run minimized gives.
  WORD showWindow = 0;
  bool useShowWindow = false;
  std::wstring title;  // empty: the system's default
};

// Starts `application` (may be empty: taken from the command line) with `commandLine`, its
// standard output and error on pipes and its input on the null device, and waits for it.
ProcessResult runProcess(const std::wstring& application, const std::wstring& commandLine,
                         const ProcessOptions& options = {});

// Quotes one argument so that CommandLineToArgvW gives it back unchanged.
std::wstring quoteArgument(const std::wstring& argument);

// Full path of the running test program.
std::wstring ownPath();

// Starts the running test program again with "--probe <name>", which runs the probe of that
// name (see TARNIC_PROBE) instead of the tests.
ProcessResult runProbe(const std::string& name, const ProcessOptions& options = {});

// A name no other test process uses, now or earlier (process ids are reused).
std::wstring uniqueName(const std::wstring& prefix);

// Deletes a directory and everything below it; nothing when it does not exist.
void removeTree(const std::wstring& path);

// The system's English text for `code` without its trailing line breaks, as the launcher's
// messages give it; "" when the system has none.
std::string systemText(DWORD code);

// UTF-8 <-> UTF-16 for test expectations.
std::wstring widen(const std::string& text);
std::string narrow(const std::wstring& text);

// Status of the abnormal end where the processor offers fail-fast (it does under Wine).
constexpr uint32_t kFastFailStatus = 0xC0000409;
