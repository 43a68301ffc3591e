// `tarnic-pack init`: a first configuration for an application folder as it stands, commented,
// that packs the folder at once when its main program's version resource says what a launcher
// needs, and that the packer refuses, naming each placeholder, until the rest is filled in.
#pragma once

#include <filesystem>
#include <string>

// Where init writes without --out.
constexpr char kDefaultInitConfig[] = "tarnic.toml";

struct InitRequest {
  std::filesystem::path folder;
  std::string main;           // relative to the folder; "" to take the only program at its top
  std::filesystem::path out;  // "" for kDefaultInitConfig
};

// Writes the configuration `request.out`, which must not exist yet (a configuration is written
// by hand after this; it is never replaced) and must lie outside the folder, whose every file a
// launcher carries; without --out, kDefaultInitConfig in the current folder, or beside the
// folder when the current folder is in it. It describes the folder and its main program: the
// given one, else the only .exe at the folder's top, which must be a file of the folder, not a
// link that leads outside. The target spec is a folder of the company's and the product's below
// {CACHE_DIR}, one for each {VERSION} (with a comment to name the application when the main
// program is a runtime, node.exe, ...); the version strings come from the main program's
// version resource at every pack, or are placeholders where it has none; the optional keys are
// commented out. Returns the line that tells the user what to do next, with a command whose
// launcher lies outside the folder. Throws PackError, writing nothing, when the folder or the
// main program cannot be used (with the candidates when the folder holds several programs) or
// the file cannot be written.
std::string writeInitialConfig(const InitRequest& request);
