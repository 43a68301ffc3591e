#include "packer/launcher_build.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "packer/app_folder.h"
#include "packer/depfile.h"
#include "packer/embedded_files.h"
#include "packer/entry_table.h"
#include "packer/file_system.h"
#include "packer/icon_file.h"
#include "packer/launcher_config.h"
#include "packer/launcher_image.h"
#include "packer/output_file.h"
#include "packer/pack_error.h"
#include "packer/pe_format.h"
#include "packer/region_reader.h"
#include "packer/text_encoding.h"
#include "packer/version_block.h"
#include "packer/windows_program.h"

namespace fs = std::filesystem;

namespace {

constexpr uint16_t kOwnResourceId = 1;

[[noreturn]] void failField(const LauncherRequest& request, const std::string& field,
                            const std::string& why) {
  throw PackError(printablePath(request.config) + ": " + field + " " + why);
}

std::vector<unsigned char> readIcon(const LauncherRequest& request, const LauncherConfig& config) {
  if (!config.icon) {
    const std::string_view own = projectIcon();
    return {own.begin(), own.end()};
  }
  const std::string icon = "\"" + printablePath(*config.icon) + "\"";
  std::error_code error;
  if (!fs::is_regular_file(*config.icon, error)) {
    failField(request, "application.icon", icon + " does not exist");
  }
  std::vector<unsigned char> bytes = readWholeFile(*config.icon);
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
  if (!fs::is_regular_file(folder / relativePath(config.main), error)) {
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

std::vector<unsigned char> fileHead(const AppFile& file) {
  const OpenedFile opened = openFoundFile(file.file, file.id, file.source);
  std::vector<unsigned char> head(kProgramHeadBytes);
  const size_t got = std::fread(head.data(), 1, head.size(), opened.stream.get());
  if (std::ferror(opened.stream.get())) {
    throw PackError(printablePath(file.source) + ": cannot be read: " + std::strerror(errno));
  }
  head.resize(got);
  return head;
}

MainProgram checkMainProgram(const LauncherRequest& request, const LauncherConfig& config,
                             const std::vector<unsigned char>& head, uint64_t size,
                             const std::string& where) {
  MainProgram program = inspectMainProgram(head.data(), head.size(), size);
  if (!program.problem.empty()) {
    failField(request, "application.main",
              "\"" + config.main + "\" (" + where + ") " + program.problem);
  }
  return program;
}

// Packs the files into a region in memory and reads it back, verified as a given region is.
RegionFile packInMemory(const std::vector<AppFile>& files, const Compression& compression) {
  RegionFile packed;
  writeRegion(files, compression, [&](const char* data, size_t size) {
    packed.bytes.insert(packed.bytes.end(), data, data + size);
  });
  packed.region = readRegion(packed.bytes);
  return packed;
}

// The COFF time stamp: none, unless SOURCE_DATE_EPOCH asks for one.
uint32_t timeStamp() {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (epoch == nullptr || *epoch == '\0') {
    return 0;
  }
  uint64_t seconds = 0;
  for (const char* digit = epoch; *digit != '\0'; ++digit) {
    if (*digit < '0' || *digit > '9' || (seconds = seconds * 10 + (*digit - '0')) > UINT32_MAX) {
      throw PackError(std::string("SOURCE_DATE_EPOCH \"") + epoch +
                      "\" is not a number of seconds from 0 to " + std::to_string(UINT32_MAX));
    }
  }
  return static_cast<uint32_t>(seconds);
}

LauncherParts launcherParts(const LauncherConfig& config, const RegionFile& region,
                            const std::vector<unsigned char>& icon, uint32_t stamp) {
  LauncherParts parts;
  const VersionStrings& strings = config.strings;
  const std::string* values[kStringFields] = {};
  values[kTargetSpecField] = &config.targetSpec;
  values[kCompanyNameField] = &strings.company;
  values[kProductNameField] = &strings.product;
  values[kVersionField] = &strings.version;
  values[kFileVersionField] = &strings.fileVersion;
  values[kProductVersionField] = &strings.productVersion;
  for (size_t i = 0; i < kStringFields; ++i) {
    parts.strings[i] = utf8ToUtf16(*values[i]).value();
  }
  parts.entryTable = entryTableOf(region.region);
  parts.region = region.bytes.data() + region.region.offset;
  parts.regionBytes = region.region.length;
  parts.resources = iconResources(icon);
  parts.resources.push_back({kResourceVersion, kOwnResourceId, versionBlock(config)});
  const std::string_view manifest = launcherManifest();
  parts.resources.push_back({kResourceManifest, kOwnResourceId, std::string(manifest)});
  parts.timeStamp = stamp;
  return parts;
}

}  // namespace

PackSummary buildLauncher(const LauncherRequest& request) {
  const LauncherConfig config = readLauncherConfig(request.config);
  const std::vector<unsigned char> icon = readIcon(request, config);
  const uint32_t stamp = timeStamp();
  std::vector<fs::path> inputs{request.config};
  if (config.icon) {
    inputs.push_back(*config.icon);
  }
  RegionFile region;
  MainProgram program;
  if (request.region) {
    region = readGivenRegion(request, config);
    program = checkMainProgram(request, config, region.region.mainHead,
                               region.region.entries.front().size,
                               "the first entry of " + printablePath(*request.region));
    inputs.push_back(*request.region);
  } else {
    const fs::path folder = appFolder(request, config);
    const AppFiles app = collectAppFiles(folder, config.main);
    const std::vector<AppFile>& files = app.files;
    program = checkMainProgram(request, config, fileHead(files.front()), files.front().size,
                               printablePath(files.front().source));
    region = packInMemory(files, request.compression);
    appendInputs(app, inputs);
  }
  const LauncherKind kind =
      config.kind ? *config.kind
                  : (program.windowed ? LauncherKind::kWindowed : LauncherKind::kConsole);
  const std::string_view image =
      kind == LauncherKind::kWindowed ? windowedLauncherImage() : consoleLauncherImage();
  const std::string launcher =
      writeLauncherImage(std::string(image), launcherParts(config, region, icon, stamp));

  OutputFile output(fs::absolute(request.out));
  if (std::fwrite(launcher.data(), 1, launcher.size(), output.stream()) != launcher.size()) {
    throw PackError(printablePath(request.out) + ": cannot be written: " + std::strerror(errno));
  }
  if (request.depfile) {
    writeDepfile(*request.depfile, request.out, inputs);
  }
  output.commit();
  PackSummary summary{region.region.entries.size(), 0, launcher.size()};
  for (const RegionEntry& entry : region.region.entries) {
    summary.bytesIn += entry.size;
  }
  return summary;
}
