// Depfiles, as make and ninja read them after a command: the command's output, then every file
// and folder it was made from, so that the build runs the command again when one of them
// changes. A folder changes when a file is added to it or removed from it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Why `paths` cannot be named in a depfile, one problem each, checked before anything is packed:
// a path holding a line break, which the format cannot hold. None when all can.
std::vector<std::string> depfileProblems(const std::vector<std::filesystem::path>& paths);

// Writes the depfile `depfile`: `output` made from `inputs`, each as an absolute path with '/'
// separators. It appears only when complete. Throws PackError when it cannot be written or a
// path holds a line break, which the format cannot hold.
void writeDepfile(const std::filesystem::path& depfile, const std::filesystem::path& output,
                  const std::vector<std::filesystem::path>& inputs);
