#include "packer/region/region_writer.h"

#include <gtest/gtest.h>

#include "packer/app/app_folder.h"
#include "packer/messages/pack_error.h"
#include "packer/messages/problems.h"
#include "packer/system/output_file.h"
#include "tests/packer/test_util.h"

namespace fs = std::filesystem;

namespace {

// The files of `folder` as a pack finds them, which must be without problems.
AppFiles walkFolder(const fs::path& folder) {
  Problems problems;
  AppFiles app = collectAppFiles(folder, LeftOut{}, problems);
  EXPECT_TRUE(problems.empty());
  return app;
}

}  // namespace

TEST(RegionWriter, RefusesAFileThatChangesWhileItIsPacked) {
  ScratchFolder scratch;
  writeFile(scratch / "app/grown", "for");
  const AppFiles app = walkFolder(scratch / "app");
  writeFile(scratch / "app/grown", "four");  // the same file, rewritten in place
  OutputFile output(scratch / "region.bin");
  try {
    writeRegion(app.files, Compression{}, output.stream());
    ADD_FAILURE() << "no error";
  } catch (const PackError& error) {
    EXPECT_NE(std::string(error.what()).find("changed while it was packed"), std::string::npos);
  }
}

// Each file is read through one handle, which must reach the file the walk found: a file put in
// its place afterwards (a link to a file outside, or an outside file moved in) is refused, never
// packed under the inside name.
TEST(RegionWriter, RefusesAFileReplacedAfterTheWalk) {
  ScratchFolder scratch;
  for (bool link : {true, false}) {
    writeFile(scratch / "app/main.exe", "main");
    writeFile(scratch / "app/notes.txt", "public");
    writeFile(scratch / "outside/secret", "secret");
    const AppFiles app = walkFolder(scratch / "app");
    fs::remove(scratch / "app/notes.txt");
    if (link) {
      fs::create_symlink(scratch / "outside/secret", scratch / "app/notes.txt");
    } else {
      fs::rename(scratch / "outside/secret", scratch / "app/notes.txt");
    }
    std::string packed;
    try {
      writeRegion(app.files, Compression{},
                  [&](const char* data, size_t size) { packed.append(data, size); });
      ADD_FAILURE() << "no error; link " << link;
    } catch (const PackError& error) {
      EXPECT_EQ(std::string(error.what()),
                (scratch / "app/notes.txt").string() + ": was replaced while the packer ran");
    }
    fs::remove(scratch / "app/notes.txt");
  }
}
