// The configuration file of one launcher (TOML): its target spec, the strings of its version
// block and where its application and icon are.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "packer/app/exclude_pattern.h"
#include "packer/config/version_strings.h"
#include "packer/messages/problems.h"
#include "rules/path_limits.h"

// The longest company, product, version or copyright string: any of them may become part of the
// target directory through a token, whose path buffer holds 4096 units with its NUL.
constexpr size_t kMaxStringUnits = kPathUnits - 1;

// A console launcher shares its console with its program; a windowed one has none.
enum class LauncherKind { kConsole, kWindowed };

// All strings UTF-8, as in the file.
struct LauncherConfig {
  std::string targetSpec;  // as the file gives it, problems or not
  GivenVersion version;    // what [version] gives; the rest comes from the main program
  std::optional<std::filesystem::path> appFolder;  // relative paths resolved against the file
  std::string main;                                // relative to the application folder
  std::optional<std::filesystem::path> icon;       // nullopt: the packer's own
  std::optional<LauncherKind> kind;                // nullopt: as the main program's subsystem
  std::vector<ExcludePattern> exclude;
  bool sharedTarget = false;     // the target spec may start elsewhere than in a per-user folder
  bool removeAfterExit = false;  // the launcher removes what it unpacked when the program ends
  unsigned keepVersions = 0;     // versions kept beside each other; 0: every version stays
  std::vector<std::u16string> arguments;  // fixed, before the user's
};

// A problem of the configuration `file` at `field` ("application.main"), as every check of a
// configuration words it: "<file>: <field> <why>".
std::string fieldProblem(const std::filesystem::path& file, const std::string& field,
                         const std::string& why);

// Reads and checks the file. Notes in `problems` every problem, each naming the file and the
// field ("version.company"): an unknown key (with the known key it was likely meant to be), a
// missing field, a value of another type, a string holding NUL or over kMaxStringUnits, every
// problem of a target spec the launcher would refuse, a [version] value that
// versionValueProblem refuses, an empty main or icon, a launcher kind other than "console" or
// "windowed", an exclude pattern that matches nothing, and a keep_versions that is no whole
// number from 1 to kMostKeptVersions or comes with shared_target. A field with a problem keeps its
// default value. The [version] keys are optional: what they leave out, and whether the target
// is the user's own, the launcher's build settles once it has read the main program. Relative
// paths are resolved against the file's folder, in normal form: ".." names taken away with the
// name before them, as Windows takes them. Throws PackError for a file that cannot be read or
// is not TOML (at its first syntax error, with a hint towards single-quoted strings when a
// double-quoted one holds an escape TOML does not know).
LauncherConfig readLauncherConfig(const std::filesystem::path& file, Problems& problems);
