// The files of an application folder, named and ordered as a region holds them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "packer/app/exclude_pattern.h"
#include "packer/messages/problems.h"
#include "packer/system/file_system.h"

struct AppFile {
  std::u16string name;           // relative, backslash-separated, as the launcher writes it
  std::filesystem::path source;  // its path in the folder, perhaps a link to another file there
  uint64_t size;
  std::filesystem::path file;  // the file itself, with no link on the way, for openFoundFile
  FileId id;                   // what the walk found there
};

// The files of a folder to pack, and the folders walked to find them.
struct AppFiles {
  std::vector<AppFile> files;
  std::vector<std::filesystem::path> folders;         // the application folder first
  std::vector<std::filesystem::path> leftOutOutputs;  // of LeftOut::outputs, found in the folder
  std::vector<std::filesystem::path> leftOutReads;    // of LeftOut::reads, found in the folder
};

// What a pack leaves out of the folder besides what it cannot pack.
struct LeftOut {
  std::vector<ExcludePattern> patterns;
  // The files the run writes, where they exist: a launcher written into its own application
  // folder must not carry the one before it.
  std::vector<std::filesystem::path> outputs;
  // The run's configuration, which is not the application's.
  std::vector<std::filesystem::path> reads{};
};

// The region name of the main file given as a relative name with '/' or '\' separators.
// Throws PackError when it is not valid UTF-8.
std::u16string mainEntryName(std::string_view mainName);

// The same name as a path relative to the application folder.
std::filesystem::path relativePath(std::string_view mainName);

// Every regular file below `folder` but those `leftOut` names, by UTF-16 name (code unit order),
// so that the same folder always gives the same order. Links that stay inside the folder are
// followed; empty folders are left out. Notes in `problems` every file the launcher could not
// reproduce as it is: a name without a UTF-16 form (kNameEncodingProblem) or that Windows cannot
// store, a file over kMaxFileBytes, a link leading outside or in a loop, anything but files and
// folders, unreadable files and folders, and every pair of names that differ only in case; and
// a folder that is missing or cannot be resolved.
AppFiles collectAppFiles(const std::filesystem::path& folder, const LeftOut& leftOut,
                         Problems& problems);

// Moves the main file `mainName` of the files of `folder` to the front, so that a region holds
// it first. Returns "", or what is wrong with the name, to follow it in a message: it is not a
// file in the folder (with the name of one that differs in letter case alone, or else the
// likelyName of the folder), lies outside it (mainOutsideProblem), is a folder, or is left out by
// a pattern (and whether it exists besides).
std::string putMainFirst(AppFiles& app, const std::filesystem::path& folder,
                         std::string_view mainName, const LeftOut& leftOut);

// Why the main file `mainName`, relative to `folder`, is not a file of the folder, or "": its
// path leaves the folder ("lies outside the application folder <folder>"), or it is a link that
// leads outside ("leads outside the application folder <folder>, to <where>").
std::string mainOutsideProblem(const std::filesystem::path& folder, std::string_view mainName);

// The name of the entry of `path`'s folder that the missing `path` likely stands for
// (nearestName), for a "did you mean": never `path`'s own name; "" when none is near enough or
// the folder cannot be listed.
std::string likelyName(const std::filesystem::path& path);

// " (did you mean "<path>"?)" for the entry beside the missing `path` that likelyName finds,
// shown as `path` is; "" when there is none.
std::string likelyPathHint(const std::filesystem::path& path);

// Appends what a pack of `app` reads, for a depfile: its folders, then its files.
void appendInputs(const AppFiles& app, std::vector<std::filesystem::path>& inputs);

// The canonical paths of those of `outputs` that exist, for LeftOut::outputs and reads.
std::vector<std::filesystem::path> existingOutputs(
    const std::vector<std::filesystem::path>& outputs);
