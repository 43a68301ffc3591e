// The end both pack commands share: where they write is checked before anything is packed, and
// what they pack appears under its name only when it is complete, its depfile beside it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "packer/messages/problems.h"
#include "packer/pack_summary.h"

// What a pack writes: its output, and a depfile when one is asked for.
struct PackOutputs {
  std::filesystem::path out;
  std::optional<std::filesystem::path> depfile;
};

// What went into the output, for the summary.
struct PackedContent {
  size_t files = 0;
  uint64_t bytesIn = 0;
  std::vector<std::filesystem::path> leftOutOutputs;  // outputs the application folder held
  std::vector<std::filesystem::path> leftOutReads{};  // and the configuration, when it held it
};

// Notes in `problems` why the outputs cannot be written where they are to go (outputProblem;
// `example` is the file --out would name in a folder).
void checkOutputs(const PackOutputs& outputs, const std::string& example, Problems& problems);

// Notes in `problems` why a path of `inputs`, or the output, cannot be named in the depfile.
void checkDepfileInputs(const PackOutputs& outputs,
                        const std::vector<std::filesystem::path>& inputs, Problems& problems);

// The outputs that exist already, which a pack leaves out of the folder it packs.
std::vector<std::filesystem::path> existingOutputsOf(const PackOutputs& outputs);

// Makes the folders of the outputs, writes the output through `write` (which writes its bytes to
// the stream it is given and returns how many) into a file that takes the output's name only
// once the depfile naming `inputs` is written too, and returns the summary of `content`. Throws
// PackError when a folder or a file cannot be made or written.
PackSummary writeOutputs(const PackOutputs& outputs,
                         const std::vector<std::filesystem::path>& inputs,
                         const PackedContent& content,
                         const std::function<uint64_t(std::FILE*)>& write);
