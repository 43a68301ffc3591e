#include "packer/launcher_build.h"

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "packer/app_folder.h"
#include "packer/entry_table.h"
#include "packer/icon_file.h"
#include "packer/interruption.h"
#include "packer/kit.h"
#include "packer/launcher_config.h"
#include "packer/launcher_sources.h"
#include "packer/output_file.h"
#include "packer/pack_error.h"
#include "packer/region_reader.h"
#include "packer/run_tool.h"
#include "packer/text_encoding.h"

namespace fs = std::filesystem;

namespace {

// Names inside the work folder; the generated sources refer to them as they are, so they need
// no quoting.
constexpr const char* kRegionFile = "region.bin";
constexpr const char* kTableFile = "table.bin";
constexpr const char* kIconFile = "icon.ico";
constexpr const char* kManifestFile = "launcher.manifest";
constexpr const char* kConfigSource = "config.cpp";
constexpr const char* kRegionSource = "region.s";
constexpr const char* kResourceScript = "resources.rc";
constexpr const char* kConfigObject = "config.o";
constexpr const char* kRegionObject = "region.o";
constexpr const char* kResourceObject = "resources.o";
constexpr const char* kWorkFiles[] = {kRegionFile,   kTableFile,     kIconFile,       kManifestFile,
                                      kConfigSource, kRegionSource,  kResourceScript, kConfigObject,
                                      kRegionObject, kResourceObject};

// A folder for the generated files, removed with everything in it unless kept.
class WorkFolder {
 public:
  explicit WorkFolder(bool keep) : keep_(keep) {
    std::string pattern = (fs::temp_directory_path() / "tarnic-pack-XXXXXX").native();
    if (!mkdtemp(pattern.data())) {
      throw PackError(std::string("cannot create a work folder: ") + std::strerror(errno));
    }
    path_ = pattern;
    if (keep_) {
      std::fprintf(stderr, "tarnic-pack: work folder %s is kept\n", printablePath(path_).c_str());
      return;
    }
    for (const char* name : kWorkFiles) {
      removals_.push_back(
          std::make_unique<RemovedOnInterruption>(path_ / name, /* folder */ false));
    }
    removals_.push_back(std::make_unique<RemovedOnInterruption>(path_, /* folder */ true));
  }
  ~WorkFolder() {
    std::error_code ignored;
    if (!keep_) {
      fs::remove_all(path_, ignored);
    }
  }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  fs::path operator/(const char* name) const { return path_ / name; }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
  bool keep_;
  std::vector<std::unique_ptr<RemovedOnInterruption>> removals_;
};

void writeFile(const fs::path& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out.flush()) {
    throw PackError(printablePath(path) + ": cannot be written");
  }
}

void writeText(const fs::path& path, const std::string& text) {
  writeFile(path, text.data(), text.size());
}

[[noreturn]] void failField(const LauncherRequest& request, const std::string& field,
                            const std::string& why) {
  throw PackError(printablePath(request.config) + ": " + field + " " + why);
}

std::vector<unsigned char> readIcon(const LauncherRequest& request, const LauncherConfig& config) {
  const std::string icon = "\"" + printablePath(config.icon) + "\"";
  std::error_code error;
  if (!fs::is_regular_file(config.icon, error)) {
    failField(request, "application.icon", icon + " does not exist");
  }
  std::vector<unsigned char> bytes = readWholeFile(config.icon);
  const std::string problem = iconProblem(bytes);
  if (!problem.empty()) {
    failField(request, "application.icon", icon + " " + problem);
  }
  return bytes;
}

// The application folder, from --app or else the configuration, with the main file in it.
fs::path appFolder(const LauncherRequest& request, const LauncherConfig& config) {
  if (!request.app && !config.appFolder) {
    failField(request, "application.folder", "is missing (or pass --app or --region)");
  }
  const fs::path folder = request.app ? *request.app : *config.appFolder;
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    if (request.app) {
      throw PackError("--app " + printablePath(folder) + " is not a folder");
    }
    failField(request, "application.folder", "\"" + printablePath(folder) + "\" is not a folder");
  }
  std::string relative = config.main;
  std::replace(relative.begin(), relative.end(), '\\', '/');
  if (!fs::is_regular_file(folder / relative, error)) {
    failField(request, "application.main",
              "\"" + config.main + "\" is not a file in " + printablePath(folder));
  }
  return folder;
}

RegionFile readGivenRegion(const LauncherRequest& request, const LauncherConfig& config) {
  RegionFile given = readRegionFile(*request.region);
  const std::vector<RegionEntry>& entries = given.region.entries;
  if (entries.empty() || entries.front().name != mainEntryName(config.main)) {
    const std::string first = entries.empty()
                                  ? "holds no entries"
                                  : "starts with \"" + utf16ToUtf8(entries.front().name) + "\"";
    failField(request, "application.main",
              "\"" + config.main + "\" is not the first entry of the region " +
                  printablePath(*request.region) + ", which " + first);
  }
  return given;
}

void writeSources(const LauncherConfig& config, const Kit& kit, const WorkFolder& work,
                  const std::vector<unsigned char>& icon, uint64_t regionLength,
                  const std::string& table) {
  writeFile(work / kIconFile, icon.data(), icon.size());
  const std::vector<unsigned char> manifest = readWholeFile(kit.manifest);
  writeFile(work / kManifestFile, manifest.data(), manifest.size());
  writeText(work / kConfigSource, configSource(config));
  writeText(work / kTableFile, table);
  writeText(work / kRegionSource,
            regionAssembly({kRegionFile, regionLength}, {kTableFile, table.size()}));
  writeText(work / kResourceScript, resourceScript(config, kIconFile, kManifestFile));
}

void compileAndLink(const Kit& kit, const WorkFolder& work, const fs::path& exe) {
  const fs::path& folder = work.path();
  runTool({kit.cxx, "-c", kConfigSource, "-o", kConfigObject}, folder);
  runTool({kit.cxx, "-c", kRegionSource, "-o", kRegionObject}, folder);
  runTool({kit.windres, "-i", kResourceScript, "-o", kResourceObject}, folder);
  std::vector<std::string> link{kit.cxx};
  link.insert(link.end(), kit.linkOptions.begin(), kit.linkOptions.end());
  link.insert(link.end(), {"-o", exe.native(), kConfigObject, kRegionObject, kResourceObject});
  link.insert(link.end(), kit.libraries.begin(), kit.libraries.end());
  link.insert(link.end(), kit.systemLibraries.begin(), kit.systemLibraries.end());
  runTool(link, folder);
}

}  // namespace

void buildLauncher(const LauncherRequest& request) {
  const LauncherConfig config = readLauncherConfig(request.config);
  const std::vector<unsigned char> icon = readIcon(request, config);
  std::optional<RegionFile> given;
  std::optional<fs::path> folder;
  if (request.region) {
    given = readGivenRegion(request, config);
  } else {
    folder = appFolder(request, config);
  }
  const Kit kit = readKit(request.kit);
  const WorkFolder work(request.keepWork);
  const fs::path regionFile = work / kRegionFile;
  if (folder) {
    packRegion(*folder, config.main, regionFile, request.compression);
    given = readRegionFile(regionFile);
  } else {
    writeFile(regionFile, given->bytes.data() + given->region.offset, given->region.length);
  }
  writeSources(config, kit, work, icon, given->region.length, entryTableOf(given->region));
  OutputFile output(fs::absolute(request.out));
  compileAndLink(kit, work, output.temporaryPath());
  output.commit();
}
