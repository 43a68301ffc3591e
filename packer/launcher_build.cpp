#include "packer/launcher_build.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "packer/app_folder.h"
#include "packer/depfile.h"
#include "packer/embedded_files.h"
#include "packer/entry_table.h"
#include "packer/file_system.h"
#include "packer/fixed_argument_checks.h"
#include "packer/launcher_config.h"
#include "packer/output_file.h"
#include "packer/pack_error.h"
#include "packer/pe/icon_file.h"
#include "packer/pe/launcher_image.h"
#include "packer/pe/pe_format.h"
#include "packer/pe/program_icon.h"
#include "packer/pe/version_block.h"
#include "packer/pe/windows_program.h"
#include "packer/problems.h"
#include "packer/region_reader.h"
#include "packer/text_encoding.h"
#include "rules/spec_tokens.h"

namespace fs = std::filesystem;

namespace {

constexpr uint16_t kOwnResourceId = 1;

// What the run packs from, once every check has passed.
struct Inputs {
  LauncherConfig config;
  std::vector<unsigned char> icon;
  RegionFile region;  // a region given, else filled by packing `app`
  AppFiles app;
  MainProgram program;
  std::vector<fs::path> read;  // for the depfile
};

void noteField(Problems& problems, const LauncherRequest& request, const std::string& field,
               const std::string& why) {
  problems.add(fieldProblem(request.config, field, why));
}

// The configured icon's bytes; none when the configuration names none or it has a problem.
std::vector<unsigned char> readIcon(const LauncherRequest& request, const LauncherConfig& config,
                                    Problems& problems) {
  if (!config.icon) {
    return {};
  }
  const std::string icon = "\"" + printablePath(*config.icon) + "\"";
  std::error_code error;
  if (!fs::is_regular_file(*config.icon, error)) {
    noteField(problems, request, "application.icon", icon + " does not exist");
    return {};
  }
  std::vector<unsigned char> bytes = readWholeFile(*config.icon);
  const std::string problem = iconProblem(bytes);
  if (!problem.empty()) {
    noteField(problems, request, "application.icon", icon + " " + problem);
    return {};
  }
  return bytes;
}

// The application folder, from --app or else the configuration; nullopt when it has a problem.
std::optional<fs::path> appFolder(const LauncherRequest& request, const LauncherConfig& config,
                                  Problems& problems) {
  if (!request.app && !config.appFolder) {
    noteField(problems, request, "application.folder", "is missing (or pass --app or --region)");
    return std::nullopt;
  }
  const fs::path folder = request.app ? *request.app : *config.appFolder;
  std::error_code error;
  if (fs::is_directory(folder, error)) {
    return folder;
  }
  if (request.app) {
    problems.add("--app " + printablePath(folder) + " is not a folder");
  } else {
    noteField(problems, request, "application.folder",
              "\"" + printablePath(folder) + "\" is not a folder");
  }
  return std::nullopt;
}

std::optional<RegionFile> readGivenRegion(const LauncherRequest& request,
                                          const LauncherConfig& config, Problems& problems) {
  RegionFile given;
  try {
    given = readRegionFile(*request.region);
  } catch (const PackError& problem) {
    problems.add(problem.what());
    return std::nullopt;
  }
  const std::vector<RegionEntry>& entries = given.region.entries;
  if (config.main.empty() ||
      (!entries.empty() && entries.front().name == mainEntryName(config.main))) {
    return given;
  }
  const std::string first = entries.empty()
                                ? "holds no entries"
                                : "starts with \"" + utf16ToUtf8(entries.front().name) + "\"";
  noteField(problems, request, "application.main",
            "\"" + config.main + "\" is not the first entry of the region " +
                printablePath(*request.region) + ", which " + first);
  return std::nullopt;
}

// The bytes at `offset` of an application file, read through a handle that must reach the file
// the walk found, as every other read of it.
std::vector<unsigned char> fileRange(const AppFile& file, uint64_t offset, uint64_t size) {
  const OpenedFile opened = openFoundFile(file.file, file.id, file.source);
  std::vector<unsigned char> bytes(static_cast<size_t>(size));
  if (offset > static_cast<uint64_t>(LONG_MAX) ||
      std::fseek(opened.stream.get(), static_cast<long>(offset), SEEK_SET) != 0 ||
      std::fread(bytes.data(), 1, bytes.size(), opened.stream.get()) != bytes.size()) {
    const bool failed = std::ferror(opened.stream.get()) != 0;
    throw PackError(printablePath(file.source) + ": cannot be read" +
                    (failed ? std::string(": ") + std::strerror(errno) : ""));
  }
  return bytes;
}

// The bytes of the file's head that tell what kind of program it is, or all of a shorter file.
std::vector<unsigned char> fileHead(const AppFile& file) {
  return fileRange(file, 0, std::min<uint64_t>(file.size, kProgramHeadBytes));
}

// Checks the main program, and takes its icon when the configuration names none.
void checkMainProgram(const LauncherRequest& request, Inputs& inputs,
                      const std::vector<unsigned char>& head, uint64_t size,
                      const std::string& where, const ProgramBytes& read, Problems& problems) {
  const std::string main = "\"" + inputs.config.main + "\" (" + where + ") ";
  inputs.program = inspectMainProgram(head.data(), head.size(), size);
  if (!inputs.program.problem.empty()) {
    noteField(problems, request, "application.main", main + inputs.program.problem);
    return;
  }
  if (inputs.config.icon) {
    return;
  }
  ProgramIcon icon = programIcon(head, size, read);
  if (icon.problem.empty() && !icon.ico.empty()) {
    icon.problem = iconProblem(icon.ico);
  }
  if (!icon.problem.empty()) {
    noteField(problems, request, "application.main",
              main + "has an icon the launcher cannot carry: " + icon.problem +
                  "; name one with application.icon");
    return;
  }
  inputs.icon = std::move(icon.ico);
}

// Reads the region given and checks its main program.
void checkRegion(const LauncherRequest& request, Inputs& inputs, Problems& problems) {
  std::optional<RegionFile> region = readGivenRegion(request, inputs.config, problems);
  inputs.read.push_back(*request.region);
  if (!region || inputs.config.main.empty()) {
    return;
  }
  inputs.region = std::move(*region);
  const RegionFile& given = inputs.region;
  checkMainProgram(
      request, inputs, given.region.mainHead, given.region.entries.front().size,
      "the first entry of " + printablePath(*request.region),
      [&](uint64_t offset, uint64_t size) { return firstEntryBytes(given, offset, size); },
      problems);
}

void checkMain(const LauncherRequest& request, Inputs& inputs, const fs::path& folder,
               const LeftOut& leftOut, Problems& problems) {
  if (inputs.config.main.empty()) {
    return;
  }
  const std::string problem = putMainFirst(inputs.app, folder, inputs.config.main, leftOut);
  if (!problem.empty()) {
    noteField(problems, request, "application.main", "\"" + inputs.config.main + "\" " + problem);
    return;
  }
  const AppFile& main = inputs.app.files.front();
  checkMainProgram(
      request, inputs, fileHead(main), main.size, printablePath(main.source),
      [&](uint64_t offset, uint64_t size) { return fileRange(main, offset, size); }, problems);
}

// Walks the application folder and checks its main program. Problems of the folder alone are
// reported as the region command reports them; with others, in one list.
void checkFolder(const LauncherRequest& request, Inputs& inputs, Problems& problems) {
  const std::optional<fs::path> folder = appFolder(request, inputs.config, problems);
  if (!folder) {
    return;
  }
  const LeftOut leftOut{inputs.config.exclude,
                        existingOutputs({request.out, request.depfile.value_or(request.out)})};
  Problems folderProblems;
  inputs.app = collectAppFiles(*folder, leftOut, folderProblems);
  appendInputs(inputs.app, inputs.read);
  checkMain(request, inputs, *folder, leftOut, problems);
  if (problems.empty()) {
    folderProblems.throwIfAny(printablePath(*folder), "files or folders cannot be packed");
  }
  problems.add(folderProblems);
}

// Everything the launcher is made from, checked: every problem of the configuration, the icon,
// the folder or region and the main program comes in one PackError.
Inputs checkInputs(const LauncherRequest& request) {
  Problems problems;
  Inputs inputs;
  inputs.config = readLauncherConfig(request.config, problems);
  inputs.read.push_back(request.config);
  inputs.icon = readIcon(request, inputs.config, problems);
  if (inputs.config.icon) {
    inputs.read.push_back(*inputs.config.icon);
  }
  if (request.region) {
    checkRegion(request, inputs, problems);
  } else {
    checkFolder(request, inputs, problems);
  }
  problems.throwIfAny(printablePath(request.config), "problems");
  if (inputs.icon.empty()) {
    const std::string_view own = projectIcon();
    inputs.icon.assign(own.begin(), own.end());
  }
  return inputs;
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

// The version block's contents: the descriptor's strings, already in UTF-16, and the rest of
// the configuration's, checked to be UTF-8 when it was read.
VersionInfo versionInfo(const LauncherConfig& config, const LauncherParts& parts) {
  return {config.fileVersion,
          config.productVersion,
          parts.strings[kCompanyNameField],
          parts.strings[kProductNameField],
          utf8ToUtf16(config.strings.copyright).value(),
          parts.strings[kProductVersionField],
          parts.strings[kFileVersionField],
          utf8ToUtf16(config.main).value()};
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
  parts.fixedArguments = joinFixedArguments(config.arguments);
  parts.launchOptions = (config.sharedTarget ? kSharedTargetOption : 0) |
                        (config.removeAfterExit ? kRemoveAfterExitOption : 0);
  parts.entryTable = entryTableOf(region.region);
  parts.region = region.bytes.data() + region.region.offset;
  parts.regionBytes = region.region.length;
  parts.resources = iconResources(icon);
  parts.resources.push_back(
      {kResourceVersion, kOwnResourceId, versionBlock(versionInfo(config, parts))});
  const std::string_view manifest = launcherManifest();
  parts.resources.push_back({kResourceManifest, kOwnResourceId, std::string(manifest)});
  parts.timeStamp = stamp;
  return parts;
}

}  // namespace

PackSummary buildLauncher(const LauncherRequest& request) {
  Inputs inputs = checkInputs(request);
  const uint32_t stamp = timeStamp();
  makeFolderFor(request.out);
  if (request.depfile) {
    makeFolderFor(*request.depfile);
  }
  OutputFile output(fs::absolute(request.out));
  if (!request.region) {
    inputs.region = packInMemory(inputs.app.files, request.compression);
  }
  const LauncherConfig& config = inputs.config;
  const LauncherKind kind =
      config.kind ? *config.kind
                  : (inputs.program.windowed ? LauncherKind::kWindowed : LauncherKind::kConsole);
  const std::string_view image =
      kind == LauncherKind::kWindowed ? windowedLauncherImage() : consoleLauncherImage();
  const LauncherParts parts = launcherParts(config, inputs.region, inputs.icon, stamp);
  const std::string launcher = writeLauncherImage(std::string(image), parts);
  if (std::fwrite(launcher.data(), 1, launcher.size(), output.stream()) != launcher.size()) {
    throw PackError(printablePath(request.out) + ": cannot be written: " + std::strerror(errno));
  }
  if (request.depfile) {
    writeDepfile(*request.depfile, request.out, inputs.read);
  }
  output.commit();
  PackSummary summary{inputs.region.region.entries.size(), 0, launcher.size(), {}};
  for (const RegionEntry& entry : inputs.region.region.entries) {
    summary.bytesIn += entry.size;
  }
  for (const fs::path& path : inputs.app.leftOutOutputs) {
    summary.leftOut.push_back(printablePath(path));
  }
  const std::u16string spec = parts.strings[kTargetSpecField];
  summary.copyPerStart = !config.removeAfterExit && usesPerStartToken(spec.data(), spec.size());
  return summary;
}
