#include "packer/command_line.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "packer/app/exclude_pattern.h"
#include "packer/init_command.h"
#include "packer/launcher_command.h"
#include "packer/list_command.h"
#include "packer/messages/nearest_name.h"
#include "packer/messages/pack_error.h"
#include "packer/messages/problems.h"
#include "packer/messages/text_encoding.h"
#include "packer/region/region_writer.h"
#include "packer/region_command.h"
#include "packer/system/file_system.h"
#include "packer/system/output_file.h"

namespace {

constexpr int kFailureStatus = 1;
constexpr unsigned kMaxThreads = 256;
constexpr const char* kSubcommands[] = {"init", "region", "launcher", "list"};

struct Options {
  std::string app;
  std::string main;
  std::string out;
  std::string file;
  std::string config;
  std::string region;
  std::string depfile;
  std::string icon;
  std::string folder;
  std::vector<std::string> exclude;
  Compression compression{kDefaultCompressionLevel, defaultThreads()};
  bool quiet = false;
};

// CLI11 takes an unknown first word for an extra argument; name it as what it was meant to be.
bool unknownSubcommand(int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') {
    return false;
  }
  for (const char* known : kSubcommands) {
    if (std::strcmp(argv[1], known) == 0) {
      return false;
    }
  }
  std::vector<std::string> names(std::begin(kSubcommands), std::end(kSubcommands));
  const std::string likely = nearestName(argv[1], names);
  printError(("unknown subcommand \"" + printableBytes(argv[1]) + "\"" +
              (likely.empty() ? "" : " (did you mean " + likely + "?)") +
              "; the subcommands are init, region, launcher and list (see --help)")
                 .c_str());
  return true;
}

// Runs `command`, then ends with the summary line of what it wrote unless quiet.
template <typename Command>
void summarized(const Options& options, Command command) {
  const auto start = std::chrono::steady_clock::now();
  const PackSummary summary = command();
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  if (!options.quiet) {
    std::fprintf(stderr, "%s\n",
                 summaryLine(printableBytes(options.out), summary, seconds.count()).c_str());
  }
}

void addCompressionOptions(CLI::App& command, Options& options) {
  command.add_option("--level", options.compression.level, "zstd compression level")
      ->check(CLI::Range(1, maxCompressionLevel()))
      ->capture_default_str();
  command
      .add_option("--threads", options.compression.threads,
                  "compression threads; every count gives the same bytes")
      ->check(CLI::Range(1u, kMaxThreads))
      ->capture_default_str();
}

// A path option: absent when empty.
std::optional<std::filesystem::path> optionalPath(const std::string& option) {
  if (option.empty()) {
    return std::nullopt;
  }
  return pathFromUtf8(option);
}

std::vector<ExcludePattern> excludePatterns(const Options& options) {
  std::vector<ExcludePattern> patterns;
  for (const std::string& text : options.exclude) {
    std::string why;
    std::optional<ExcludePattern> pattern = parseExcludePattern(text, why);
    if (!pattern) {
      throw PackError("--exclude \"" + printableBytes(text) + "\" " + why);
    }
    patterns.push_back(std::move(*pattern));
  }
  return patterns;
}

LauncherRequest launcherRequest(const Options& options) {
  LauncherRequest request;
  request.config = pathFromUtf8(options.config);
  request.out = pathFromUtf8(options.out);
  request.app = optionalPath(options.app);
  request.region = optionalPath(options.region);
  request.depfile = optionalPath(options.depfile);
  request.icon = optionalPath(options.icon);
  request.exclude = excludePatterns(options);
  request.compression = options.compression;
  return request;
}

void addDepfileOption(CLI::App& command, Options& options) {
  command.add_option("--depfile", options.depfile,
                     "also write a depfile (make's syntax) naming every file and folder read");
}

void addRegionCommand(CLI::App& app, Options& options) {
  CLI::App* region = app.add_subcommand("region", "pack an application folder into a region file");
  region->add_option("--app", options.app, "application folder")->required();
  region->add_option("--main", options.main, "main file, relative to the folder; packed first")
      ->required();
  region->add_option("--out", options.out, "region file to write")->required();
  region->add_option("--exclude", options.exclude,
                     "leave out what this pattern matches (repeatable): \"*.pdb\", \"tests/**\"");
  addCompressionOptions(*region, options);
  addDepfileOption(*region, options);
  region->footer(
      "Every file below the folder is packed, the main file first. Empty folders are ignored: "
      "a region holds files only.");
  region->callback([&] {
    options.compression.progress = !options.quiet;
    summarized(options, [&] {
      return packRegion(pathFromUtf8(options.app), options.main, excludePatterns(options),
                        pathFromUtf8(options.out), options.compression,
                        optionalPath(options.depfile));
    });
  });
}

void addListCommand(CLI::App& app, Options& options) {
  CLI::App* list = app.add_subcommand("list", "verify a region file or launcher and list it");
  list->add_option("file", options.file, "region file or launcher .exe")->required();
  list->callback([&] { listRegion(pathFromUtf8(options.file)); });
}

void addLauncherCommand(CLI::App& app, Options& options) {
  CLI::App* launcher = app.add_subcommand("launcher", "write a launcher for an application");
  launcher
      ->add_option("--config", options.config,
                   "launcher configuration file (TOML; `tarnic-pack init <folder>` writes one)")
      ->required();
  launcher->add_option("--out", options.out, "launcher .exe to write")->required();
  CLI::Option* appOption =
      launcher->add_option("--app", options.app, "application folder (replaces the configured)");
  CLI::Option* regionOption =
      launcher->add_option("--region", options.region, "region made before, in place of a folder")
          ->excludes(appOption);
  launcher->add_option("--icon", options.icon, "icon file (replaces application.icon)");
  launcher
      ->add_option("--exclude", options.exclude,
                   "also leave out what this pattern matches (repeatable), as application.exclude")
      ->excludes(regionOption);
  addCompressionOptions(*launcher, options);
  addDepfileOption(*launcher, options);
  launcher->footer("Empty folders of the application are ignored: a region holds files only.");
  launcher->callback([&] {
    options.compression.progress = !options.quiet;
    summarized(options, [&] { return buildLauncher(launcherRequest(options)); });
  });
}

void addInitCommand(CLI::App& app, Options& options) {
  CLI::App* init =
      app.add_subcommand("init", "write a first configuration for an application folder");
  init->add_option("folder", options.folder, "application folder")->required();
  init->add_option("--main", options.main,
                   "main program, relative to the folder (else the only .exe at its top)");
  init->add_option("--out", options.out,
                   "configuration file to write (else tarnic.toml here, or beside the folder "
                   "when here is in it)");
  init->footer(
      "The configuration takes the version strings from the main program's version resource, "
      "and its icon; where the program has none, it holds placeholders to fill in.");
  init->callback([&] {
    const std::string next =
        writeInitialConfig({pathFromUtf8(options.folder), options.main, pathFromUtf8(options.out)});
    if (!options.quiet) {
      std::fprintf(stderr, "%s\n", next.c_str());
    }
  });
}

// The option of `argv` that no command takes, and the one it likely stands for: ""s when every
// option is known.
std::pair<std::string, std::string> unknownOption(const CLI::App& app, int argc, char** argv) {
  std::vector<std::string> known;
  const CLI::App* command = &app;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const std::vector<const CLI::App*> named = app.get_subcommands(
        [&](const CLI::App* subcommand) { return subcommand->get_name() == argument; });
    if (command == &app && !named.empty()) {
      command = named.front();
      continue;
    }
    if (argument.rfind("--", 0) != 0 || argument.size() == 2) {
      continue;
    }
    const std::string name = argument.substr(0, argument.find('='));
    known.clear();
    for (const CLI::App* owner : {command, &app}) {
      for (const CLI::Option* option : owner->get_options()) {
        for (const std::string& longName : option->get_lnames()) {
          known.push_back("--" + longName);
        }
      }
    }
    if (std::find(known.begin(), known.end(), name) == known.end()) {
      return {name, nearestName(name, known)};
    }
  }
  return {"", ""};
}

}  // namespace

void printError(const char* message) {
  const char* lineEnd = std::strchr(message, '\n');
  const int firstLine = static_cast<int>(lineEnd ? lineEnd - message : std::strlen(message));
  std::fprintf(stderr, "tarnic-pack: error: %.*s\n", firstLine, message);
  if (lineEnd) {
    std::fprintf(stderr, "%s\n", lineEnd + 1);
  }
}

int runPacker(int argc, char** argv) {
  CLI::App app{"Packs an application folder into a payload region and writes launchers.",
               "tarnic-pack"};
  app.require_subcommand(1);
  // CLI11 would take "/x" for an option on Windows, where it is a path as well; options are
  // written "--x" on every system.
  app.allow_windows_style_options(false);
  // Options of the whole program are taken after the subcommand too.
  app.fallthrough();
  app.set_version_flag("--version", "tarnic-pack " TARNIC_VERSION);
  Options options;
  app.add_flag("-q,--quiet", options.quiet, "print nothing but errors");
  addInitCommand(app, options);
  addRegionCommand(app, options);
  addListCommand(app, options);
  addLauncherCommand(app, options);
  if (unknownSubcommand(argc, argv)) {
    return kUsageStatus;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) {
      return app.exit(error);
    }
    const auto [option, likely] = unknownOption(app, argc, argv);
    printError(option.empty() || likely.empty()
                   ? error.what()
                   : ("unknown option " + option + " (did you mean " + likely + "?)").c_str());
    return kUsageStatus;
  } catch (const std::exception& error) {
    // Caught, not left to terminate, so that unwinding removes temporary files.
    printError(error.what());
    return kFailureStatus;
  }
  return 0;
}
