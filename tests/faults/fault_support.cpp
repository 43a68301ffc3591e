#include "tests/faults/fault_support.h"

#include <tlhelp32.h>

#include <algorithm>
#include <set>
#include <stdexcept>

namespace {

std::vector<AppFile> readApplication() {
  std::wstring folder = testFolder() + L"\\apps\\bulky";
  std::vector<AppFile> files;
  for (const std::wstring& name : filesBelow(folder))
    files.push_back({name, readWholeFile(folder + L"\\" + name).value()});
  if (files.empty())
    throw std::runtime_error("no application folder at " + narrow(folder));
  return files;
}

void createDirectories(const std::wstring& folder) {
  size_t cut = folder.rfind(L'\\');
  if (cut != std::wstring::npos && cut > 2 &&
      GetFileAttributesW(extendedPath(folder.substr(0, cut)).c_str()) == INVALID_FILE_ATTRIBUTES)
    createDirectories(folder.substr(0, cut));
  CreateDirectoryW(extendedPath(folder).c_str(), nullptr);
}

// Calls `step(thread)` for every thread of `process`.
template <typename Step>
void forEachThread(HANDLE process, Step step) {
  const DWORD id = GetProcessId(process);
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  ASSERT_NE(snapshot, INVALID_HANDLE_VALUE) << GetLastError();
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL found = Thread32First(snapshot, &entry); found;
       found = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != id)
      continue;
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
    if (thread != nullptr) {
      step(thread);
      CloseHandle(thread);
    }
  }
  CloseHandle(snapshot);
}

// A file is written under its name, a tag of the start's own and this suffix, and renamed when
// complete.
constexpr wchar_t kPartialPattern[] = L".*.tarnic-partial";

}  // namespace

const std::vector<AppFile>& applicationFiles() {
  static const std::vector<AppFile> files = readApplication();
  return files;
}

uint64_t applicationBytes() {
  uint64_t total = 0;
  for (const AppFile& file : applicationFiles())
    total += file.data.size();
  return total;
}

void writeWholeFile(const std::wstring& path, const std::string& data) {
  createDirectories(path.substr(0, path.rfind(L'\\')));
  HANDLE file =
      CreateFileW(extendedPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  if (file == INVALID_HANDLE_VALUE ||
      !WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) ||
      written != data.size())
    throw std::runtime_error("cannot write " + narrow(path));
  CloseHandle(file);
}

testing::AssertionResult holdsTheApplication(const std::wstring& target) {
  std::set<std::wstring> expected;
  for (const AppFile& file : applicationFiles()) {
    expected.insert(file.name);
    std::optional<std::string> found = readWholeFile(target + L"\\" + file.name);
    if (!found)
      return testing::AssertionFailure() << narrow(file.name) << " is missing";
    if (*found != file.data)
      return testing::AssertionFailure() << narrow(file.name) << " differs: " << found->size()
                                         << " bytes of " << file.data.size();
  }
  for (const std::wstring& name : unpackedFilesBelow(target))
    if (expected.count(name) == 0)
      return testing::AssertionFailure() << narrow(name) << " is no file of the application";
  return testing::AssertionSuccess();
}

void placeTheApplication(const std::wstring& target) {
  for (const AppFile& file : applicationFiles())
    writeWholeFile(target + L"\\" + file.name, file.data);
}

std::wstring freshFolder(const std::wstring& leaf) {
  static const std::wstring root = L"C:\\" + uniqueName(L"tarnic-faults-");
  static const struct Cleanup {
    ~Cleanup() { removeTree(extendedPath(root)); }
  } cleanup;
  static int serial = 0;
  std::wstring folder = root + L"\\" + std::to_wstring(++serial) + L"-" + leaf;
  createDirectories(folder);
  return folder;
}

Launch launchWithTemp(const std::wstring& exe, const std::wstring& temp, DWORD timeoutMs) {
  // A target spec whose tokens yield nothing leaves a path below the current drive's root: the
  // test's own drive C:, not the drive of the test program, which Wine maps to the host's root.
  static const std::wstring currentDirectory = freshFolder(L"current-directory");
  ProcessOptions options;
  options.currentDirectory = currentDirectory;
  options.setEnvironment[L"TMP"] = temp;
  options.setEnvironment[L"TEMP"] = temp;
  options.timeoutMs = timeoutMs;
  Launch launch;
  launch.temp = temp;
  launch.process = runLauncher(exe, quoteArgument(exe), options);
  launch.report = parseReport(launch.process.out);
  return launch;
}

std::wstring bulkyTarget(const std::wstring& temp) {
  return temp + L"\\faults\\bulky";
}

uint64_t sizeOnDisk(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(extendedPath(path).c_str(), GetFileExInfoStandard, &data))
    return 0;
  return static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

RunningLauncher::~RunningLauncher() {
  if (process != nullptr) {
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
    CloseHandle(thread);
  }
}

bool RunningLauncher::hasEnded() const {
  return process == nullptr || WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

void suspendLauncher(const RunningLauncher& launcher) {
  forEachThread(launcher.process, [](HANDLE thread) { SuspendThread(thread); });
}

void resumeLauncher(const RunningLauncher& launcher) {
  forEachThread(launcher.process, [](HANDLE thread) { ResumeThread(thread); });
}

void startLauncher(const std::wstring& exe, const std::wstring& temp, RunningLauncher* launcher) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE null =
      CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inherit, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(null, INVALID_HANDLE_VALUE);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = null;
  if (!temp.empty()) {
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
  }
  PROCESS_INFORMATION info{};
  BOOL started = FALSE;
  DWORD error = 0;
  // Wine's hiccup under load (see runProcess) gets a second attempt.
  for (int attempt = 0; attempt < 2 && !started; ++attempt) {
    std::wstring line = quoteArgument(exe);
    started = CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr,
                             /* inherit handles */ TRUE, 0, nullptr, nullptr, &startup, &info);
    error = started ? 0 : GetLastError();
    if (error != ERROR_INTERNAL_ERROR)
      break;
  }
  CloseHandle(null);
  ASSERT_TRUE(started) << error;
  launcher->process = info.hProcess;
  launcher->thread = info.hThread;
}

PartialFiles partialFilesOf(const std::wstring& path) {
  PartialFiles partial;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(extendedPath(path + kPartialPattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return partial;
  do {
    partial.bytes += static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
    ++partial.count;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return partial;
}

uint64_t bytesUnpacked(const std::wstring& target) {
  uint64_t bytes = 0;
  for (const AppFile& file : applicationFiles()) {
    std::wstring path = target + L"\\" + file.name;
    bytes += std::min<uint64_t>(sizeOnDisk(path) + partialFilesOf(path).bytes, file.data.size());
  }
  return bytes;
}

bool waitForUnpackingToStart(const RunningLauncher& launcher, const std::wstring& first) {
  while (GetFileAttributesW(extendedPath(first).c_str()) == INVALID_FILE_ATTRIBUTES &&
         partialFilesOf(first).count == 0)
    if (launcher.hasEnded())
      return false;
  return true;
}
