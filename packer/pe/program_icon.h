// The icon of a Windows program as the system shows it for the program's file: the first icon
// group of its resources, with every image the group names. A launcher for the program carries
// it when its configuration names no icon.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "packer/pe/program_resources.h"

struct ProgramIcon {
  std::vector<unsigned char> ico;  // the group and its images as an .ico file; none without one
  std::string problem;             // "" unless the resources are damaged: what is wrong
};

// The icon of the 64-bit program (already checked with inspectMainProgram) of `fileBytes`
// bytes whose headers are in `head`, its resource section read through `read`. A program with
// no resource section or no icon group has none. The problem names a resource directory, icon
// group or image that lies outside the section or the file, an image the group names that the
// program lacks, or images that come to more than a launcher's resources may hold (found from
// the group's entries before any image is copied).
ProgramIcon programIcon(const std::vector<unsigned char>& head, uint64_t fileBytes,
                        const ProgramBytes& read);
