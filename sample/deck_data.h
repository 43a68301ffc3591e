// The sample's data files: data\deck.txt names the deck in its first line and lists the card
// files, one path a line relative to the data folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct DataFile {
  std::wstring name;            // relative to the data folder, with backslashes
  std::wstring firstLine;       // without its line break
  DWORD error = ERROR_SUCCESS;  // why the file could not be read, or ERROR_SUCCESS
};

struct DeckData {
  std::vector<DataFile> files;  // deck.txt first, then the cards in their listed order
  uint32_t fingerprint = 0;     // over the bytes of every file read, in that order
  size_t bytes = 0;             // in every file read
  bool complete = true;         // every file was read
};

// Reads deck.txt and every card it lists from `dataFolder`, fingerprinting them with
// tessaline-core.dll. Files that cannot be read are kept with their error.
DeckData readDeck(const std::wstring& dataFolder);
