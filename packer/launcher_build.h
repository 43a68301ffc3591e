// The `launcher` command: one launcher .exe from a configuration file, an application (a folder
// or a region made before) and the kit of the Windows tree.
#pragma once

#include <filesystem>
#include <optional>

#include "packer/region_writer.h"

struct LauncherRequest {
  std::filesystem::path config;
  std::filesystem::path out;
  std::optional<std::filesystem::path> app;     // replaces application.folder
  std::optional<std::filesystem::path> region;  // a region file (or launcher) made before
  std::filesystem::path kit;
  Compression compression;
  bool keepWork = false;  // leave the generated sources and objects for inspection
};

// Checks everything (configuration, application or region, icon, kit) before it generates the
// sources in a temporary work folder, builds them with the kit's tools and links the launcher
// into a temporary file beside `out`, renamed when complete. Throws PackError; nothing is left
// at `out` then.
void buildLauncher(const LauncherRequest& request);
