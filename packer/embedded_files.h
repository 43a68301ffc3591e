// The files built into the packer (packer/embedded_files.S).
#pragma once

#include <string_view>

// The prebuilt launchers: a console program, and a windowed one that opens no console.
std::string_view consoleLauncherImage();
std::string_view windowedLauncherImage();
// The icon a launcher carries when its configuration names none: the project's own.
std::string_view projectIcon();
// Every launcher's manifest (build/launcher.manifest).
std::string_view launcherManifest();
