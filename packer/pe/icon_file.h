// Icon files (.ico, layout in rules/ico_format.h): checked before they go into a launcher,
// and turned into its icon resources.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "packer/pe/resource_section.h"

// What is wrong with `bytes` as an icon (.ico) file, or "" when nothing is: the header, the
// directory and each image, which must lie inside the file and be a PNG or a bitmap.
std::string iconProblem(const std::vector<unsigned char>& bytes);

// What is wrong with icon images of `imageBytes` bytes in all, or "" when a launcher's resources
// can hold them.
std::string imageBytesProblem(uint64_t imageBytes);

// The resources of an icon file without problem: its images as icon resources 1 to n in the
// file's order, and its directory as icon group 1, each entry naming its image's id.
std::vector<Resource> iconResources(const std::vector<unsigned char>& bytes);
