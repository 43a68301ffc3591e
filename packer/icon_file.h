// Checking an icon file before windres turns it into the launcher's icon group.
#pragma once

#include <string>
#include <vector>

// What is wrong with `bytes` as an icon (.ico) file, or "" when nothing is: the header, the
// directory and each image, which must lie inside the file and be a PNG or a bitmap.
std::string iconProblem(const std::vector<unsigned char>& bytes);
