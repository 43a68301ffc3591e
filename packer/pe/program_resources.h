// The resources of a Windows program, found as its loader finds them: through the resource
// directory of its optional header, in the section that holds it. Read from a program the
// packer checks (its main program), which may be damaged or made to mislead: every offset is
// checked against the section before it is followed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Reads `size` bytes at `offset` of the program's file; what it throws when it cannot passes
// through.
using ProgramBytes = std::function<std::vector<unsigned char>(uint64_t offset, uint64_t size)>;

// What stops a search of damaged resources: what is wrong, for a message.
struct ResourceDamage {
  std::string why;
};

// Where a resource's data lies in the section.
struct ResourceSpan {
  size_t offset;
  uint32_t size;
};

class ProgramResources {
 public:
  // The resources of the 64-bit program (checked with inspectMainProgram) of `fileBytes` bytes
  // whose headers are in `head`, the section read through `read`; nullopt when it has none.
  // Throws ResourceDamage when the directory lies outside every section or the file.
  static std::optional<ProgramResources> read(const std::vector<unsigned char>& head,
                                              uint64_t fileBytes, const ProgramBytes& read);

  // Where the data of the first language of the first resource of `type` (of its first id,
  // named or not) lies; nullopt when there is none. Throws ResourceDamage when the tree or the
  // data lies outside the section.
  std::optional<ResourceSpan> firstOf(uint16_t type) const;

  // The same data, copied.
  std::optional<std::vector<unsigned char>> first(uint16_t type) const;

  // The language tables of the resources of `type` by id, the first one of each id as the
  // loader finds it. Built in one pass, so that looking up every entry of a group of many
  // takes no pass over the table for each.
  std::map<uint16_t, size_t> languagesById(uint16_t type) const;

  // Where the data of the first language of the language table at `languages` lies; nullopt
  // when it has none. Throws ResourceDamage as firstOf does.
  std::optional<ResourceSpan> firstLanguage(size_t languages) const;

  // Appends the data at `span` to `out`.
  void appendTo(std::vector<unsigned char>& out, ResourceSpan span) const;

 private:
  ProgramResources(std::vector<unsigned char> bytes, uint32_t rva)
      : bytes_(std::move(bytes)), rva_(rva) {}

  uint32_t u32(size_t at) const;
  uint16_t u16(size_t at) const;
  void check(size_t at, size_t size) const;
  size_t entryCount(size_t table) const;
  std::optional<size_t> subtable(size_t table, std::optional<uint32_t> id) const;

  std::vector<unsigned char> bytes_;  // from the directory's start to the section's end
  uint32_t rva_;                      // of the directory
};
