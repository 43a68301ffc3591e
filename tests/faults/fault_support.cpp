#include "tests/faults/fault_support.h"

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
