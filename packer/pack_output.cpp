#include "packer/pack_output.h"

#include "packer/app/app_folder.h"
#include "packer/depfile.h"
#include "packer/system/file_system.h"
#include "packer/system/output_file.h"

namespace fs = std::filesystem;

void checkOutputs(const PackOutputs& outputs, const std::string& example, Problems& problems) {
  for (const std::string& problem :
       {outputProblem("--out", outputs.out, example),
        outputs.depfile ? outputProblem("--depfile", *outputs.depfile, example + ".d") : ""}) {
    if (!problem.empty()) {
      problems.add(problem);
    }
  }
}

void checkDepfileInputs(const PackOutputs& outputs, const std::vector<fs::path>& inputs,
                        Problems& problems) {
  if (!outputs.depfile) {
    return;
  }
  std::vector<fs::path> named = inputs;
  named.push_back(outputs.out);
  for (const std::string& problem : depfileProblems(named)) {
    problems.add(problem);
  }
}

std::vector<fs::path> existingOutputsOf(const PackOutputs& outputs) {
  return existingOutputs({outputs.out, outputs.depfile.value_or(outputs.out)});
}

PackSummary writeOutputs(const PackOutputs& outputs, const std::vector<fs::path>& inputs,
                         const PackedContent& content,
                         const std::function<uint64_t(std::FILE*)>& write) {
  makeFolderFor(outputs.out);
  if (outputs.depfile) {
    makeFolderFor(*outputs.depfile);
  }
  OutputFile output(fs::absolute(outputs.out));
  PackSummary summary{content.files, content.bytesIn, write(output.stream()), {}};
  if (outputs.depfile) {
    writeDepfile(*outputs.depfile, outputs.out, inputs);
  }
  output.commit();
  for (const fs::path& path : content.leftOutOutputs) {
    summary.leftOut.push_back(printablePath(path));
  }
  for (const fs::path& path : content.leftOutReads) {
    summary.leftOutConfiguration.push_back(printablePath(path));
  }
  return summary;
}
