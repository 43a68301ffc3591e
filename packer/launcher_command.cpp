#include "packer/launcher_command.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "packer/app/app_folder.h"
#include "packer/config/fixed_argument_checks.h"
#include "packer/config/launcher_config.h"
#include "packer/config/target_spec.h"
#include "packer/config/version_strings.h"
#include "packer/embedded_files.h"
#include "packer/messages/pack_error.h"
#include "packer/messages/problems.h"
#include "packer/messages/text_encoding.h"
#include "packer/pack_output.h"
#include "packer/pe/icon_file.h"
#include "packer/pe/image_error.h"
#include "packer/pe/launcher_image.h"
#include "packer/pe/pe_format.h"
#include "packer/pe/program_icon.h"
#include "packer/pe/version_block.h"
#include "packer/pe/version_resource.h"
#include "packer/pe/windows_program.h"
#include "packer/region/entry_table.h"
#include "packer/region/region_reader.h"
#include "packer/system/file_system.h"
#include "packer/system/whole_file.h"
#include "rules/spec_tokens.h"

namespace fs = std::filesystem;

namespace {

PackOutputs outputsOf(const LauncherRequest& request) {
  return {request.out, request.depfile};
}

constexpr uint16_t kOwnResourceId = 1;

// The tokens whose values come from the version strings.
struct VersionToken {
  SpecToken token;
  VersionKey key;
};
constexpr VersionToken kVersionTokens[] = {{SpecToken::kCompany, kCompanyKey},
                                           {SpecToken::kProduct, kProductKey},
                                           {SpecToken::kVersion, kVersionKey},
                                           {SpecToken::kFileVersion, kFileVersionKey},
                                           {SpecToken::kProductVersion, kProductVersionKey}};

// What the run packs from, once every check has passed.
struct Inputs {
  LauncherConfig config;
  VersionStrings strings;
  std::vector<unsigned char> icon;
  RegionFile region;  // a region given, else filled by packing `app`
  AppFiles app;
  MainProgram program;
  // The main program's version resource, read when [version] leaves a key out and the program
  // could be read.
  std::optional<ProgramVersion> programVersion;
  std::string versionBlock;
  uint32_t timeStamp = 0;
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
  const std::string icon =
      "\"" + (request.icon ? printablePath(*config.icon) : config.iconText) + "\"";
  std::error_code error;
  if (!fs::is_regular_file(*config.icon, error)) {
    if (request.icon) {
      problems.add("--icon " + printablePath(*config.icon) + " does not exist" +
                   likelyPathHint(*config.icon));
    } else {
      noteField(
          problems, request, "application.icon",
          icon + " does not exist" + configPathHint(request.config, config.iconText, *config.icon));
    }
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
    problems.add("--app " + printablePath(folder) + " is not a folder" + likelyPathHint(folder));
  } else {
    noteField(problems, request, "application.folder",
              "\"" + config.appFolderText + "\" is not a folder" +
                  configPathHint(request.config, config.appFolderText, folder));
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

// Whether [version] leaves out a key that the main program's version resource may give.
bool versionLeftOut(const LauncherConfig& config) {
  return std::any_of(config.version.begin(), config.version.end(),
                     [](const GivenValue& given) { return !given.present; });
}

// Checks the main program, reads its version resource when [version] leaves a key out, and
// takes its icon when the configuration names none.
void checkMainProgram(const LauncherRequest& request, Inputs& inputs,
                      const std::vector<unsigned char>& head, uint64_t size,
                      const std::string& where, const ProgramBytes& read, Problems& problems) {
  const std::string main = "\"" + inputs.config.main + "\" (" + where + ") ";
  inputs.program = inspectMainProgram(head.data(), head.size(), size);
  if (!inputs.program.problem.empty()) {
    noteField(problems, request, "application.main", main + inputs.program.problem);
    return;
  }
  if (versionLeftOut(inputs.config)) {
    inputs.programVersion = programVersion(head, size, read);
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

// Why --out or --depfile cannot be written where the main program `main` of `folder` lies, or
// "" when neither names it: the launcher would take the place of the program it carries.
std::string outputInPlaceOfMain(const LauncherRequest& request, const fs::path& folder,
                                const std::string& main) {
  const std::vector<fs::path> program = existingOutputs({folder / relativePath(main)});
  const std::pair<const char*, std::optional<fs::path>> outputs[] = {
      {"--out", request.out}, {"--depfile", request.depfile}};
  for (const auto& [option, output] : outputs) {
    if (output && !program.empty() && existingOutputs({*output}) == program) {
      std::error_code error;
      const fs::path beside =
          fs::weakly_canonical(folder, error).parent_path() / output->filename();
      const fs::path shown = fs::relative(beside, fs::current_path(error), error);
      return std::string(option) + " " + printablePath(*output) +
             " is the main program, application.main \"" + main +
             "\", which this run would replace: write it outside the application folder, such "
             "as " +
             printablePath(shown.empty() ? beside : shown);
    }
  }
  return "";
}

void checkMain(const LauncherRequest& request, Inputs& inputs, const fs::path& folder,
               const LeftOut& leftOut, Problems& problems) {
  if (inputs.config.main.empty()) {
    return;
  }
  const std::string problem = putMainFirst(inputs.app, folder, inputs.config.main, leftOut);
  if (!problem.empty()) {
    const std::string output = outputInPlaceOfMain(request, folder, inputs.config.main);
    problems.add(output.empty() ? fieldProblem(request.config, "application.main",
                                               "\"" + inputs.config.main + "\" " + problem)
                                : output);
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
  const LeftOut leftOut{inputs.config.exclude, existingOutputsOf(outputsOf(request)),
                        existingOutputs({request.config})};
  Problems folderProblems;
  inputs.app = collectAppFiles(*folder, leftOut, folderProblems);
  appendInputs(inputs.app, inputs.read);
  checkMain(request, inputs, *folder, leftOut, problems);
  if (problems.empty()) {
    folderProblems.throwIfAny(printablePath(*folder), "files or folders cannot be packed");
  }
  problems.add(folderProblems);
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

// The version strings: [version]'s, and what it leaves out from the main program's version
// resource.
void settleVersionStrings(const LauncherRequest& request, Inputs& inputs, Problems& problems) {
  inputs.strings = resolveVersionStrings(
      inputs.config.version, inputs.programVersion ? &*inputs.programVersion : nullptr,
      inputs.config.main, [&](const std::string& field, const std::string& why) {
        noteField(problems, request, field, why);
      });
}

// The target spec with the values its tokens take: what they put into the path, the folder
// names they make, whether it keeps to the folder its first token gives and to the user's own.
void checkTargetValues(const LauncherRequest& request, const Inputs& inputs, Problems& problems) {
  const std::u16string spec = *utf8ToUtf16(inputs.config.targetSpec);
  if (spec.empty()) {
    return;
  }
  std::vector<TokenValue> values;
  for (const VersionToken& versionToken : kVersionTokens) {
    values.push_back({versionToken.token, *utf8ToUtf16(inputs.strings.values[versionToken.key]),
                      std::string("version.") + kVersionKeyInfo[versionToken.key].key,
                      inputs.strings.sources[versionToken.key]});
  }
  std::vector<std::string> found = tokenValueProblems(spec, values);
  for (std::string& problem : targetNameProblems(spec, values)) {
    found.push_back(std::move(problem));
  }
  found.push_back(inputs.config.sharedTarget ? targetClimbProblem(spec, values)
                                             : sharedTargetProblem(spec, values));
  for (const std::string& problem : found) {
    if (!problem.empty()) {
      noteField(problems, request, "target_spec", problem);
    }
  }
}

// The file --out would name in a folder: the main program's name.
std::string exampleOutput(const Inputs& inputs) {
  const fs::path main = relativePath(inputs.config.main).filename();
  return main.empty() ? "Launcher.exe" : printablePath(main.stem()) + ".exe";
}

// Windows starts a program by a name that ends in .exe.
void checkProgramName(const fs::path& out, Problems& problems) {
  std::string extension = printablePath(out.extension());
  std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  std::error_code error;
  if (extension != ".exe" && !fs::is_directory(out, error)) {
    problems.add("--out " + printablePath(out) +
                 " does not end in .exe, which Windows starts programs by: name it " +
                 printablePath(out) + ".exe");
  }
}

// The configuration, with what the command line puts in its place.
LauncherConfig configuration(const LauncherRequest& request, Problems& problems) {
  LauncherConfig config = readLauncherConfig(request.config, problems);
  if (request.icon) {
    config.icon = request.icon;
  }
  config.exclude.insert(config.exclude.end(), request.exclude.begin(), request.exclude.end());
  return config;
}

// The version block, made before anything is compressed: its strings may be too long together.
void makeVersionBlock(const LauncherRequest& request, Inputs& inputs, Problems& problems) {
  const VersionStrings& strings = inputs.strings;
  const auto units = [&](VersionKey key) { return *utf8ToUtf16(strings.values[key]); };
  try {
    inputs.versionBlock = versionBlock(
        {strings.fileVersion, strings.productVersion, units(kCompanyKey), units(kProductKey),
         units(kDescriptionKey), units(kCopyrightKey), units(kProductVersionKey),
         units(kFileVersionKey), *utf8ToUtf16(inputs.config.main)});
  } catch (const ImageError& error) {
    problems.add(printablePath(request.config) + ": " + error.what());
  }
}

// Everything the launcher is made from, checked: every problem of the configuration, the icon,
// the folder or region, the main program and the paths to write comes in one PackError.
Inputs checkInputs(const LauncherRequest& request) {
  Problems problems;
  Inputs inputs;
  inputs.config = configuration(request, problems);
  inputs.read.push_back(request.config);
  inputs.icon = readIcon(request, inputs.config, problems);
  if (inputs.config.icon) {
    inputs.read.push_back(*inputs.config.icon);
  }
  checkOutputs(outputsOf(request), exampleOutput(inputs), problems);
  checkProgramName(request.out, problems);
  try {
    inputs.timeStamp = timeStamp();
  } catch (const PackError& problem) {
    problems.add(problem.what());
  }
  if (request.region) {
    checkRegion(request, inputs, problems);
  } else {
    checkFolder(request, inputs, problems);
  }
  checkDepfileInputs(outputsOf(request), inputs.read, problems);
  settleVersionStrings(request, inputs, problems);
  checkTargetValues(request, inputs, problems);
  problems.throwIfAny(printablePath(request.config), "problems");
  makeVersionBlock(request, inputs, problems);
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

LauncherParts launcherParts(const Inputs& inputs) {
  LauncherParts parts;
  const std::array<std::string, kVersionKeys>& values = inputs.strings.values;
  const std::string* fields[kStringFields] = {};
  fields[kTargetSpecField] = &inputs.config.targetSpec;
  fields[kCompanyNameField] = &values[kCompanyKey];
  fields[kProductNameField] = &values[kProductKey];
  fields[kVersionField] = &values[kVersionKey];
  fields[kFileVersionField] = &values[kFileVersionKey];
  fields[kProductVersionField] = &values[kProductVersionKey];
  for (size_t i = 0; i < kStringFields; ++i) {
    parts.strings[i] = utf8ToUtf16(*fields[i]).value();
  }
  parts.fixedArguments = joinFixedArguments(inputs.config.arguments);
  parts.launchOptions = (inputs.config.sharedTarget ? kSharedTargetOption : 0) |
                        (inputs.config.removeAfterExit ? kRemoveAfterExitOption : 0) |
                        (inputs.config.progressWindow ? kProgressWindowOption : 0) |
                        keepVersionsOption(inputs.config.keepVersions);
  parts.entryTable = entryTableOf(inputs.region.region);
  parts.region = inputs.region.bytes.data() + inputs.region.region.offset;
  parts.regionBytes = inputs.region.region.length;
  parts.resources = iconResources(inputs.icon);
  parts.resources.push_back({kResourceVersion, kOwnResourceId, inputs.versionBlock});
  const std::string_view manifest = launcherManifest();
  parts.resources.push_back({kResourceManifest, kOwnResourceId, std::string(manifest)});
  parts.timeStamp = inputs.timeStamp;
  return parts;
}

}  // namespace

PackSummary buildLauncher(const LauncherRequest& request) {
  Inputs inputs = checkInputs(request);
  if (!request.region) {
    inputs.region = packInMemory(inputs.app.files, request.compression);
  }
  const LauncherConfig& config = inputs.config;
  const LauncherKind kind =
      config.kind ? *config.kind
                  : (inputs.program.windowed ? LauncherKind::kWindowed : LauncherKind::kConsole);
  const std::string_view image =
      kind == LauncherKind::kWindowed ? windowedLauncherImage() : consoleLauncherImage();
  const LauncherParts parts = launcherParts(inputs);
  const std::string launcher = writeLauncherImage(std::string(image), parts);
  PackedContent content{inputs.region.region.entries.size(), 0, inputs.app.leftOutOutputs,
                        inputs.app.leftOutReads};
  for (const RegionEntry& entry : inputs.region.region.entries) {
    content.bytesIn += entry.size;
  }
  PackSummary summary =
      writeOutputs(outputsOf(request), inputs.read, content, [&](std::FILE* stream) {
        if (std::fwrite(launcher.data(), 1, launcher.size(), stream) != launcher.size()) {
          throw PackError(printablePath(request.out) +
                          ": cannot be written: " + std::strerror(errno));
        }
        return uint64_t{launcher.size()};
      });
  const std::u16string& spec = parts.strings[kTargetSpecField];
  const bool perStart = usesPerStartToken(spec.data(), spec.size());
  summary.copyPerStart = !config.removeAfterExit && perStart;
  summary.sharedCopyRemoved = config.removeAfterExit && !perStart;
  return summary;
}
