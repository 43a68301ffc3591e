// The version block of a launcher (resource type 16, id 1): what Windows shows in the file's
// properties, from the launcher's configuration.
#pragma once

#include <string>

#include "packer/launcher_config.h"

// The VS_VERSIONINFO tree: the fixed part with the numeric file and product versions, one
// string table "000004b0" (language neutral, UTF-16) holding CompanyName, ProductName,
// FileDescription (the product), LegalCopyright, ProductVersion, FileVersion, OriginalFilename
// (the main program's file name) and InternalName (that name without ".exe"), and the
// translation of language 0, code page 1200.
std::string versionBlock(const LauncherConfig& config);
