// What a Windows program says of itself in its version resource (the file properties Windows
// shows): the strings of its first string table and the numbers of its fixed part. A launcher
// takes what its configuration leaves out from its main program's.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "packer/pe/program_icon.h"
#include "packer/pe/version_block.h"

struct ProgramVersion {
  bool present = false;  // the program has a version resource
  // Its first string table ("CompanyName", ...), each value up to its first NUL.
  std::vector<std::pair<std::u16string, std::u16string>> strings;
  std::optional<VersionNumbers> fileVersion;  // the fixed part's, when it has one
  std::optional<VersionNumbers> productVersion;
  std::string problem;  // "" unless the resource is damaged: what is wrong

  // The string named `name`, or null.
  const std::u16string* find(std::u16string_view name) const;
};

// The version resource of the 64-bit program (checked with inspectMainProgram) of `fileBytes`
// bytes whose headers are in `head`, its resources read through `read`: the first resource of
// type 16. A program without one gives present = false; damaged resources give the problem
// alone (a block that runs past its parent, a root that is no VS_VERSION_INFO).
ProgramVersion programVersion(const std::vector<unsigned char>& head, uint64_t fileBytes,
                              const ProgramBytes& read);
