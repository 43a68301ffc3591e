// `tarnic-pack init`: a first configuration for an application folder as it stands, commented,
// that packs the folder at once when its main program's version resource says what a launcher
// needs, and that the packer refuses, naming each placeholder, until the rest is filled in.
#pragma once

#include <filesystem>
#include <string>

struct InitRequest {
  std::filesystem::path folder;
  std::string main;  // relative to the folder; "" to take the only program at its top
  std::filesystem::path out;
};

// Writes the configuration `request.out`, which must not exist yet (a configuration is written
// by hand after this; it is never replaced), for the folder and its main program: the given one,
// else the only .exe at the folder's top. The target spec is a folder of the company's and the
// product's below {CACHE_DIR}, one for each {VERSION}; the version strings come from the main
// program's version resource at every pack, or are placeholders where it has none; the optional
// keys are commented out. Returns the line that tells the user what to do next. Throws PackError,
// writing nothing, when the folder or the main program cannot be used (with the candidates when the
// folder holds several programs) or the file cannot be written.
std::string writeInitialConfig(const InitRequest& request);
