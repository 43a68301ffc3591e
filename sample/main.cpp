// Tessaline Deck, the sample application a launcher carries: it shows where it runs from, what
// it was given and what it read from its library and data files, so that a launcher's work
// can be seen and tested from the outside.
#include <windows.h>

#include <algorithm>
#include <iomanip>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "sample/console_output.h"
#include "sample/deck_data.h"
#include "sample/options.h"
#include "sample/tessaline_core.h"

namespace {

// Enough for any Windows path, long paths included.
constexpr DWORD kPathUnits = 32768;
// Exit statuses of the sample's own failures.
constexpr int kIncompleteData = 1;
constexpr int kUsageError = 2;

constexpr const wchar_t* kPublishedVariables[] = {
    L"TARNIC_ONEFILE_PARENT", L"TARNIC_ONEFILE_DIRECTORY", L"TARNIC_ONEFILE_TARGET",
    L"TARNIC_ORIGINAL_ARGV0", L"TARNIC_ONEFILE_START",     L"TARNIC_ONEFILE_TIME_US",
    L"TARNIC_ONEFILE_RANDOM",
};

constexpr wchar_t kUsage[] =
    L"Usage: Tessaline-Deck [--exit N] [--help] [argument...]\r\n"
    L"Shows where the program runs from, its arguments, the TARNIC_ variables it received and\r\n"
    L"what it read from tessaline-core.dll and its data files.\r\n"
    L"  --exit N  exit with code N (decimal, 0 to 4294967295) once every data file was read;\r\n"
    L"            a data file that cannot be read makes the exit code 1\r\n"
    L"  --help    show this text\r\n";

using Row = std::pair<std::wstring, std::wstring>;

std::wstring inQuotes(const std::wstring& text) {
  return L"\"" + text + L"\"";
}

std::wstring ownPath() {
  std::wstring path(kPathUnits, L'\0');
  DWORD length = GetModuleFileNameW(nullptr, path.data(), kPathUnits);
  path.resize(length < kPathUnits ? length : 0);
  return path;
}

std::wstring folderOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// The file's last write time in UTC: unchanged between two starts means the file was reused.
std::wstring lastWritten(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  SYSTEMTIME time;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      !FileTimeToSystemTime(&data.ftLastWriteTime, &time))
    return L"(unknown: error " + std::to_wstring(GetLastError()) + L")";
  std::wostringstream text;
  text << std::setfill(L'0') << std::setw(4) << time.wYear << L'-' << std::setw(2) << time.wMonth
       << L'-' << std::setw(2) << time.wDay << L' ' << std::setw(2) << time.wHour << L':'
       << std::setw(2) << time.wMinute << L':' << std::setw(2) << time.wSecond << L'.'
       << std::setw(3) << time.wMilliseconds << L" UTC";
  return text.str();
}

// The variable's value quoted, so that blanks show; "(not set)" when it is missing.
std::wstring variableValue(const wchar_t* name) {
  SetLastError(ERROR_SUCCESS);
  DWORD units = GetEnvironmentVariableW(name, nullptr, 0);
  if (units == 0)
    return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? L"(not set)" : L"\"\"";
  std::wstring value(units, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), units));
  return inQuotes(value);
}

std::wstring hex32(uint32_t value) {
  std::wostringstream text;
  text << std::hex << std::setfill(L'0') << std::setw(8) << value;
  return text.str();
}

std::vector<Row> deckRows(const DeckData& deck) {
  std::vector<Row> rows;
  for (const DataFile& file : deck.files) {
    rows.emplace_back(file.name,
                      file.error == ERROR_SUCCESS
                          ? file.firstLine
                          : L"(cannot read: error " + std::to_wstring(file.error) + L")");
  }
  rows.emplace_back(L"fingerprint", hex32(deck.fingerprint) + L" over " +
                                        std::to_wstring(deck.files.size()) + L" files, " +
                                        std::to_wstring(deck.bytes) + L" bytes");
  return rows;
}

std::vector<Row> reportRows(int argc, const wchar_t* const* argv, const std::wstring& program,
                            const DeckData& deck) {
  std::vector<Row> rows = {{L"program", program}, {L"written", lastWritten(program)}};
  for (int i = 0; i < argc; ++i)
    rows.emplace_back(L"argv[" + std::to_wstring(i) + L"]", inQuotes(argv[i]));
  for (const wchar_t* name : kPublishedVariables)
    rows.emplace_back(name, variableValue(name));
  const wchar_t* corePath = tessalineCorePath();
  rows.emplace_back(L"core", std::wstring(tessalineCoreVersion()) + L" from " +
                                 (*corePath ? corePath : L"(unknown)"));
  for (Row& row : deckRows(deck))
    rows.push_back(std::move(row));
  return rows;
}

// Characters as a terminal counts them: a surrogate pair is one.
size_t displayWidth(const std::wstring& text) {
  size_t width = 0;
  for (wchar_t c : text)
    width += (c < 0xDC00 || c > 0xDFFF) ? 1 : 0;
  return width;
}

std::wstring formatReport(const std::vector<Row>& rows) {
  size_t labelWidth = 0;
  for (const Row& row : rows)
    labelWidth = std::max(labelWidth, displayWidth(row.first));
  std::wstring text = L"Tessaline Deck 1.20\r\n";
  for (const auto& [label, value] : rows) {
    text += L"  " + label + std::wstring(labelWidth + 2 - displayWidth(label), L' ') + value;
    text += L"\r\n";
  }
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options = parseOptions(argc, argv);
  if (!options.error.empty()) {
    writeText(STD_ERROR_HANDLE, L"Tessaline-Deck: " + options.error + L"\r\n");
    return kUsageError;
  }
  if (options.help) {
    writeText(STD_OUTPUT_HANDLE, kUsage);
    return 0;
  }
  std::wstring program = ownPath();
  DeckData deck = readDeck(folderOf(program) + L"\\data");
  writeText(STD_OUTPUT_HANDLE, formatReport(reportRows(argc, argv, program, deck)));
  if (!deck.complete) {
    writeText(STD_ERROR_HANDLE, L"Tessaline-Deck: some data files could not be read\r\n");
    return kIncompleteData;
  }
  // The code travels as the process's 32-bit unsigned exit code; int is only the carrier.
  return options.exitCodeGiven ? static_cast<int>(options.exitCode) : 0;
}
