// The version block of a launcher (resource type 16, id 1): what Windows shows in the file's
// properties, from the launcher's configuration.
#pragma once

#include <array>
#include <cstdint>
#include <string>

using VersionNumbers = std::array<uint16_t, 4>;

// What the block holds: the numeric versions and, in UTF-16, the strings and the path of the
// main program within the application.
struct VersionInfo {
  VersionNumbers fileVersion;
  VersionNumbers productVersion;
  std::u16string company;
  std::u16string product;
  std::u16string description;
  std::u16string copyright;
  std::u16string productVersionText;
  std::u16string fileVersionText;
  std::u16string main;
};

// The VS_VERSIONINFO tree: the fixed part with the numeric file and product versions, one
// string table "000004b0" (language neutral, UTF-16) holding CompanyName, ProductName,
// FileDescription, LegalCopyright, ProductVersion, FileVersion, OriginalFilename
// (the main program's file name) and InternalName (that name without ".exe"), and the
// translation of language 0, code page 1200. Throws ImageError when the block would pass the
// 65535 bytes its length field can count.
std::string versionBlock(const VersionInfo& info);
