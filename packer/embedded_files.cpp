#include "packer/embedded_files.h"

extern "C" {
extern const char tarnic_console_launcher[], tarnic_console_launcher_end[];
extern const char tarnic_windowed_launcher[], tarnic_windowed_launcher_end[];
extern const char tarnic_project_icon[], tarnic_project_icon_end[];
extern const char tarnic_launcher_manifest[], tarnic_launcher_manifest_end[];
}

namespace {

std::string_view between(const char* start, const char* end) {
  return {start, static_cast<size_t>(end - start)};
}

}  // namespace

std::string_view consoleLauncherImage() {
  return between(tarnic_console_launcher, tarnic_console_launcher_end);
}
std::string_view windowedLauncherImage() {
  return between(tarnic_windowed_launcher, tarnic_windowed_launcher_end);
}
std::string_view projectIcon() {
  return between(tarnic_project_icon, tarnic_project_icon_end);
}
std::string_view launcherManifest() {
  return between(tarnic_launcher_manifest, tarnic_launcher_manifest_end);
}
