#include "sample/deck_data.h"

#include <algorithm>

#include "sample/console_output.h"
#include "sample/tessaline_core.h"

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr DWORD kReadChunk = 65536;

std::string stripByteOrderMark(const std::string& text) {
  return text.rfind(kByteOrderMark, 0) == 0 ? text.substr(sizeof kByteOrderMark - 1) : text;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// The first line of UTF-8 text, without a leading byte order mark or its line break.
std::wstring firstLine(const std::string& text) {
  std::vector<std::string> lines = splitLines(stripByteOrderMark(text));
  return lines.empty() ? std::wstring() : fromUtf8(lines.front());
}

// The lines after the first that name a card, their slashes turned into backslashes.
std::vector<std::wstring> listedCards(const std::string& deckText) {
  std::vector<std::string> lines = splitLines(stripByteOrderMark(deckText));
  std::vector<std::wstring> cards;
  for (size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty())
      continue;
    std::wstring card = fromUtf8(lines[i]);
    std::replace(card.begin(), card.end(), L'/', L'\\');
    cards.push_back(card);
  }
  return cards;
}

// Reads the whole file; returns ERROR_SUCCESS or the error that stopped it.
DWORD readFile(const std::wstring& path, std::string* contents) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return GetLastError();
  DWORD error = ERROR_SUCCESS;
  char buffer[kReadChunk];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, kReadChunk, &got, nullptr)) {
      error = GetLastError();
      break;
    }
    if (got == 0)
      break;
    contents->append(buffer, got);
  }
  CloseHandle(file);
  return error;
}

DataFile readDataFile(const std::wstring& dataFolder, const std::wstring& name, DeckData* deck,
                      std::string* contents) {
  DataFile file;
  file.name = name;
  file.error = readFile(dataFolder + L"\\" + name, contents);
  if (file.error != ERROR_SUCCESS) {
    deck->complete = false;
    return file;
  }
  file.firstLine = firstLine(*contents);
  deck->fingerprint = tessalineFingerprint(deck->fingerprint, contents->data(), contents->size());
  deck->bytes += contents->size();
  return file;
}

}  // namespace

DeckData readDeck(const std::wstring& dataFolder) {
  DeckData deck;
  deck.fingerprint = kFingerprintSeed;
  std::string deckText;
  deck.files.push_back(readDataFile(dataFolder, L"deck.txt", &deck, &deckText));
  for (const std::wstring& card : listedCards(deckText)) {
    std::string contents;
    deck.files.push_back(readDataFile(dataFolder, card, &deck, &contents));
  }
  return deck;
}
