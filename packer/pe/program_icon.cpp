#include "packer/pe/program_icon.h"

#include <cstddef>
#include <map>
#include <optional>

#include "packer/pe/icon_file.h"
#include "packer/pe/pe_format.h"
#include "packer/pe/program_resources.h"
#include "rules/ico_format.h"
#include "rules/little_endian.h"

namespace {

// Where the images that the entries of `group` (a GRPICONDIR of `count` entries) name lie, in
// the entries' order.
std::vector<ResourceSpan> groupImages(const ProgramResources& resources,
                                      const std::vector<unsigned char>& group, size_t count) {
  std::vector<ResourceSpan> images;
  const std::map<uint16_t, size_t> icons = resources.languagesById(kResourceIcon);
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* entry = group.data() + kIcoHeaderBytes + i * kGroupEntryBytes;
    const uint16_t id = readLittleEndian<uint16_t>(entry + kGroupEntryResourceId);
    const auto languages = icons.find(id);
    const std::optional<ResourceSpan> image =
        languages == icons.end() ? std::nullopt : resources.firstLanguage(languages->second);
    if (!image) {
      throw ResourceDamage{"its icon group names the icon " + std::to_string(id) +
                           ", which it lacks"};
    }
    images.push_back(*image);
  }
  return images;
}

// The .ico file of `group` (a GRPICONDIR) and the icon images it names.
std::vector<unsigned char> icoOf(const ProgramResources& resources,
                                 const std::vector<unsigned char>& group) {
  if (group.size() < kIcoHeaderBytes) {
    throw ResourceDamage{"its icon group is cut short"};
  }
  const size_t count = readLittleEndian<uint16_t>(group.data() + kIcoCountOffset);
  if (group.size() < kIcoHeaderBytes + count * kGroupEntryBytes) {
    throw ResourceDamage{"its icon group is cut short"};
  }
  const std::vector<ResourceSpan> images = groupImages(resources, group, count);
  // Summed before any image is copied: a group may name one image thousands of times, and the
  // .ico file holds a copy for each.
  uint64_t imageBytes = 0;
  for (const ResourceSpan& image : images) {
    imageBytes += image.size;
  }
  const std::string tooLarge = imageBytesProblem(imageBytes);
  if (!tooLarge.empty()) {
    throw ResourceDamage{tooLarge};
  }
  std::vector<unsigned char> ico(group.begin(), group.begin() + kIcoHeaderBytes);
  size_t imageAt = kIcoHeaderBytes + count * kIcoEntryBytes;
  ico.reserve(imageAt + imageBytes);
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* entry = group.data() + kIcoHeaderBytes + i * kGroupEntryBytes;
    ico.insert(ico.end(), entry, entry + kIcoEntryImageBytes);
    appendLittleEndian(ico, images[i].size);
    appendLittleEndian(ico, static_cast<uint32_t>(imageAt));
    imageAt += images[i].size;
  }
  for (const ResourceSpan& image : images) {
    resources.appendTo(ico, image);
  }
  return ico;
}

}  // namespace

ProgramIcon programIcon(const std::vector<unsigned char>& head, uint64_t fileBytes,
                        const ProgramBytes& read) {
  try {
    const std::optional<ProgramResources> resources = ProgramResources::read(head, fileBytes, read);
    const std::optional<ResourceSpan> groupAt =
        resources ? resources->firstOf(kResourceGroupIcon) : std::nullopt;
    if (!groupAt) {
      return {{}, ""};
    }
    std::vector<unsigned char> group;
    resources->appendTo(group, *groupAt);
    return {icoOf(*resources, group), ""};
  } catch (const ResourceDamage& damage) {
    return {{}, damage.why};
  }
}
