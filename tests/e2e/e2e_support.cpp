#include "tests/e2e/e2e_support.h"

#include <algorithm>

#include "payload/copy_record.h"

namespace {

constexpr wchar_t kExtendedPrefix[] = L"\\\\?\\";

void collectFiles(const std::wstring& folder, const std::wstring& relative,
                  std::vector<std::wstring>* names) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(extendedPath(folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..")
      continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      collectFiles(folder + L"\\" + name, relative + name + L"\\", names);
    else
      names->push_back(relative + name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

std::wstring unhex(const std::string& digits) {
  std::string bytes;
  for (size_t i = 0; i + 1 < digits.size(); i += 2)
    bytes += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
  return widen(bytes);
}

}  // namespace

Report parseReport(const std::string& out) {
  Report report;
  size_t at = 0;
  for (size_t end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string line = out.substr(at, end - at);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    size_t equals = line.find('=');
    if (equals == std::string::npos)
      continue;
    std::string key = line.substr(0, equals), value = line.substr(equals + 1);
    if (key == "module")
      report.module = unhex(value);
    if (key == "cwd")
      report.cwd = unhex(value);
    if (key == "arg")
      report.arguments.push_back(unhex(value));
    if (key == "crtarg")
      report.runtimeArguments.push_back(unhex(value));
    if (key == "parent")
      report.parent = std::stoul(value);
    if (key == "startup") {
      size_t first = value.find(','), second = value.find(',', first + 1);
      report.startupFlags = std::stoul(value.substr(0, first), nullptr, 16);
      report.showWindow = static_cast<WORD>(std::stoul(value.substr(first + 1, second)));
      report.title = unhex(value.substr(second + 1));
    }
    if (key == "console")
      report.console = value == "1";
    if (key.rfind("env.", 0) == 0)
      report.environment[key.substr(4)] =
          value == "unset" ? std::nullopt : std::optional<std::wstring>(unhex(value));
  }
  return report;
}

std::wstring testFolder() {
  std::wstring self = ownPath();
  return self.substr(0, self.rfind(L'\\'));
}

std::wstring launcherPath(const std::wstring& name) {
  return testFolder() + L"\\" + name + L".exe";
}

std::wstring freshTemp() {
  static const std::wstring root = L"C:\\" + uniqueName(L"tarnic-e2e-");
  static const struct Cleanup {
    ~Cleanup() { removeTree(root); }
  } cleanup;
  static int serial = 0;
  CreateDirectoryW(root.c_str(), nullptr);
  std::wstring folder = root + L"\\" + std::to_wstring(++serial);
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

std::wstring commandLine(const std::wstring& first, const std::vector<std::wstring>& arguments) {
  std::wstring line = first;
  for (const auto& argument : arguments)
    line += L" " + quoteArgument(argument);
  return line;
}

ProcessResult runLauncher(const std::wstring& exe, const std::wstring& line,
                          const ProcessOptions& options) {
  ProcessResult result = runProcess(exe, line, options);
  if (result.exitCode == kLauncherFailureStatus &&
      result.err.find(kWineInternalErrorLaunch) != std::string::npos)
    result = runProcess(exe, line, options);
  return result;
}

Launch launchAs(const std::wstring& exe, const std::wstring& line, ProcessOptions options) {
  Launch launch;
  launch.temp = freshTemp();
  options.setEnvironment[L"TMP"] = launch.temp;
  options.setEnvironment[L"TEMP"] = launch.temp;
  launch.process = runLauncher(exe, line, options);
  launch.report = parseReport(launch.process.out);
  return launch;
}

Launch launch(const std::wstring& name, const std::vector<std::wstring>& arguments,
              ProcessOptions options) {
  std::wstring exe = launcherPath(name);
  return launchAs(exe, commandLine(quoteArgument(exe), arguments), options);
}

std::wstring variable(const Launch& launch, const char* name) {
  auto value = launch.report.environment.at(name);
  return value ? *value : L"<unset>";
}

std::wstring extendedPath(const std::wstring& path) {
  return path.rfind(kExtendedPrefix, 0) == 0 ? path : kExtendedPrefix + path;
}

std::optional<std::string> readWholeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(extendedPath(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return std::nullopt;
  std::string data;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
    data.append(buffer, got);
  CloseHandle(file);
  return data;
}

std::vector<std::wstring> filesBelow(const std::wstring& folder) {
  std::vector<std::wstring> names;
  collectFiles(folder, L"", &names);
  return names;
}

std::vector<std::wstring> unpackedFilesBelow(const std::wstring& target) {
  std::vector<std::wstring> names = filesBelow(target);
  names.erase(std::remove(names.begin(), names.end(), std::wstring(kCopyRecordName)), names.end());
  return names;
}

std::string launchFailureLine(DWORD code) {
  return "Error, couldn't launch child ([Error " + std::to_string(code) + "] " + systemText(code) +
         ")\r\n";
}
