#include "packer/region_command.h"

#include "packer/app/app_folder.h"
#include "packer/messages/problems.h"
#include "packer/messages/text_encoding.h"
#include "packer/pack_output.h"
#include "packer/system/file_system.h"

namespace fs = std::filesystem;

namespace {

// The folder's files, the main file first; throws PackError naming every problem, those of the
// depfile's paths included.
AppFiles checkedAppFiles(const fs::path& folder, std::string_view mainName, const LeftOut& leftOut,
                         const PackOutputs& outputs) {
  Problems folderProblems;
  AppFiles app = collectAppFiles(folder, leftOut, folderProblems);
  if (app.folders.empty()) {  // not walked: a folder that is missing has no main file either
    folderProblems.throwIfAny(printablePath(folder), "files or folders cannot be packed");
  }
  Problems problems;
  const std::string mainProblem = putMainFirst(app, folder, mainName, leftOut);
  if (!mainProblem.empty()) {
    problems.add("--main \"" + printableBytes(mainName) + "\" " + mainProblem);
  } else {
    folderProblems.throwIfAny(printablePath(folder), "files or folders cannot be packed");
  }
  problems.add(folderProblems);
  std::vector<fs::path> inputs;
  appendInputs(app, inputs);
  checkDepfileInputs(outputs, inputs, problems);
  problems.throwIfAny(printablePath(folder), "problems");
  return app;
}

}  // namespace

PackSummary packRegion(const fs::path& folder, std::string_view mainName,
                       const std::vector<ExcludePattern>& exclude, const fs::path& out,
                       const Compression& compression, const std::optional<fs::path>& depfile) {
  const PackOutputs outputs{out, depfile};
  Problems outputProblems;
  checkOutputs(outputs, "app.region", outputProblems);
  outputProblems.throwIfAny("the outputs", "problems");
  const AppFiles app =
      checkedAppFiles(folder, mainName, LeftOut{exclude, existingOutputsOf(outputs)}, outputs);
  PackedContent content{app.files.size(), 0, app.leftOutOutputs};
  for (const AppFile& file : app.files) {
    content.bytesIn += file.size;
  }
  std::vector<fs::path> inputs;
  appendInputs(app, inputs);
  return writeOutputs(outputs, inputs, content, [&](std::FILE* stream) {
    return writeRegion(app.files, compression, stream);
  });
}
