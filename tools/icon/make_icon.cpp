// Draws the product's icon at every size and writes the .ico that the launcher carries, plus
// each size as a PNG file of its own for looking at.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/icon/ico.h"
#include "tools/icon/icon_art.h"
#include "tools/icon/png.h"

namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out)
    throw std::runtime_error("cannot write " + path.string());
}

// Written beside the target and renamed, so that a failed run never leaves a cut icon behind
// that the build would take as up to date.
void replaceFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  fs::path partial = path;
  partial += ".partial";
  writeFile(partial, bytes);
  fs::rename(partial, path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_icon <icon.ico> <folder for the PNG images>\n");
    return 2;
  }
  try {
    fs::path pngFolder = argv[2];
    fs::create_directories(pngFolder);
    std::vector<IconImage> images;
    for (int size : kIconSizes) {
      images.push_back({size, encodePng(drawIcon(size))});
      writeFile(pngFolder / ("tessaline-deck-" + std::to_string(size) + ".png"), images.back().png);
    }
    replaceFile(argv[1], assembleIco(images));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_icon: %s\n", e.what());
    return 1;
  }
  return 0;
}
