// What the end-to-end tests share: starting packed launchers and reading their child's report.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/process.h"

// What the report child received, as it printed it.
struct Report {
  std::wstring module;
  std::wstring cwd;
  std::vector<std::wstring> arguments;         // as CommandLineToArgvW splits the line
  std::vector<std::wstring> runtimeArguments;  // as the C runtime splits it
  std::map<std::string, std::optional<std::wstring>> environment;
  DWORD parent = 0;
  // GetStartupInfoW: flags, show-window state, title.
  DWORD startupFlags = 0;
  WORD showWindow = 0;
  std::wstring title;
  bool console = false;  // the child was attached to a console
};

struct Launch {
  ProcessResult process;
  Report report;
  std::wstring temp;  // the launch's own TMP, below which its target directory lies
};

Report parseReport(const std::string& out);

// The folder of the test program, where the launchers and their application folders lie.
std::wstring testFolder();
std::wstring launcherPath(const std::wstring& name);

// A new, empty folder for one launch's temporary directory, removed when the test program
// ends.
std::wstring freshTemp();

// `first` and every argument quoted as the system's splitter gives it back.
std::wstring commandLine(const std::wstring& first, const std::vector<std::wstring>& arguments);

// Wine's CreateProcessW now and then fails with ERROR_INTERNAL_ERROR under load; a launcher that
// meets it ends with this line, through no fault of its own.
constexpr char kWineInternalErrorLaunch[] = "Error, couldn't launch child ([Error 1359]";
constexpr uint32_t kLauncherFailureStatus = 2;

// Starts a launcher with `line` and waits for it; once more when it met Wine's hiccup above.
ProcessResult runLauncher(const std::wstring& exe, const std::wstring& line,
                          const ProcessOptions& options);
// Starts a launcher with `line` and a fresh TMP, and waits for it.
Launch launchAs(const std::wstring& exe, const std::wstring& line, ProcessOptions options = {});
// Starts the launcher `name` with `arguments`.
Launch launch(const std::wstring& name, const std::vector<std::wstring>& arguments = {},
              ProcessOptions options = {});

// `path` in the form that reaches past 260 characters whatever the caller's manifest says.
std::wstring extendedPath(const std::wstring& path);

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> readWholeFile(const std::wstring& path);

// Names of every file below `folder`, relative to it, with backslashes.
std::vector<std::wstring> filesBelow(const std::wstring& folder);

// The same for a target directory, without the record the launcher keeps of its copy there.
std::vector<std::wstring> unpackedFilesBelow(const std::wstring& target);

// The launcher's line for a child that `code` kept from starting, as it reaches a pipe.
std::string launchFailureLine(DWORD code);

// A published variable as the child saw it, or "<unset>".
std::wstring variable(const Launch& launch, const char* name);
