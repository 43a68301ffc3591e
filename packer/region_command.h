// The `region` command: an application folder packed into a region file, which a launcher can
// later carry (`launcher --region`).
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "packer/app/exclude_pattern.h"
#include "packer/pack_summary.h"
#include "packer/region/region_writer.h"

// Packs `folder`, `mainName` first and without what `exclude` matches, into the region file
// `out`, which appears only when it is complete, with a depfile naming the folder's files when
// `depfile` is given. Checks where it writes, then the folder and the main file, before it
// compresses anything, and makes the folders of `out` and `depfile` when missing. Throws
// PackError naming every problem of the outputs, else of the folder.
PackSummary packRegion(const std::filesystem::path& folder, std::string_view mainName,
                       const std::vector<ExcludePattern>& exclude, const std::filesystem::path& out,
                       const Compression& compression,
                       const std::optional<std::filesystem::path>& depfile);
