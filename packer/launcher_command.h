// The `launcher` command: one launcher .exe from a configuration file, an application (a folder
// or a region made before) and a prebuilt launcher image the packer carries.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "packer/app/exclude_pattern.h"
#include "packer/pack_summary.h"
#include "packer/region/region_writer.h"

struct LauncherRequest {
  std::filesystem::path config;
  std::filesystem::path out;
  std::optional<std::filesystem::path> app;     // replaces application.folder
  std::optional<std::filesystem::path> region;  // a region file (or launcher) made before
  std::optional<std::filesystem::path> icon;    // replaces application.icon
  std::vector<ExcludePattern> exclude;          // added to application.exclude
  Compression compression;
  // A depfile to write beside the launcher, naming everything it was made from.
  std::optional<std::filesystem::path> depfile;
};

// Checks everything (configuration, application or region, main program and its version
// resource, icon, the paths to write) before it compresses anything it must, then writes the
// launcher from the prebuilt image of its kind into a temporary file beside `out`, renamed when
// complete. The same request gives the same bytes on any day: the image's time stamp is 0, or
// SOURCE_DATE_EPOCH's when that is set. Throws PackError; nothing is left at `out` then.
PackSummary buildLauncher(const LauncherRequest& request);
