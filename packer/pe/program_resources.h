// The resources of a Windows program, found as its loader finds them: through the resource
// directory of its optional header, in the section that holds it. Read from a program the
// packer checks (its main program), which may be damaged or made to mislead: every offset is
// checked against the section before it is followed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "packer/pe/program_icon.h"

// What stops a search of damaged resources: what is wrong, for a message.
struct ResourceDamage {
  std::string why;
};

class ProgramResources {
 public:
  // The resources of the 64-bit program (checked with inspectMainProgram) of `fileBytes` bytes
  // whose headers are in `head`, the section read through `read`; nullopt when it has none.
  // Throws ResourceDamage when the directory lies outside every section or the file.
  static std::optional<ProgramResources> read(const std::vector<unsigned char>& head,
                                              uint64_t fileBytes, const ProgramBytes& read);

  // The data of the first language of the first resource of `type` (of its first id, named
  // or not); nullopt when there is none. Throws ResourceDamage when the tree or the data lies
  // outside the section.
  std::optional<std::vector<unsigned char>> first(uint16_t type) const;

 private:
  ProgramResources(std::vector<unsigned char> bytes, uint32_t rva)
      : bytes_(std::move(bytes)), rva_(rva) {}

  uint32_t u32(size_t at) const;
  uint16_t u16(size_t at) const;
  void check(size_t at, size_t size) const;
  std::optional<size_t> subtable(size_t table, std::optional<uint32_t> id) const;

  std::vector<unsigned char> bytes_;  // from the directory's start to the section's end
  uint32_t rva_;                      // of the directory
};
