#include "packer/pe/resource_section.h"

#include <algorithm>

#include "packer/pe/image_error.h"
#include "packer/pe/pe_format.h"
#include "rules/little_endian.h"

namespace {

constexpr uint16_t kNeutralLanguage = 0;

size_t tableBytes(size_t entries) {
  return kResourceTableBytes + entries * kResourceEntryBytes;
}

// A table of `ids` entries at `at`; entry i points to `targets[i]` (with the high bit for
// tables).
void putTable(std::string& out, size_t at, const std::vector<uint16_t>& ids,
              const std::vector<uint32_t>& targets) {
  storeLittleEndian<uint16_t>(out, at + kResourceTableIdCount, static_cast<uint16_t>(ids.size()));
  for (size_t i = 0; i < ids.size(); ++i) {
    const size_t entry = at + kResourceTableBytes + i * kResourceEntryBytes;
    storeLittleEndian<uint32_t>(out, entry + kResourceEntryId, ids[i]);
    storeLittleEndian<uint32_t>(out, entry + kResourceEntryOffset, targets[i]);
  }
}

}  // namespace

std::string resourceSection(std::vector<Resource> resources, uint32_t sectionRva) {
  std::sort(resources.begin(), resources.end(), [](const Resource& a, const Resource& b) {
    return a.type != b.type ? a.type < b.type : a.id < b.id;
  });
  std::vector<uint16_t> types;
  for (const Resource& resource : resources) {
    if (types.empty() || types.back() != resource.type) {
      types.push_back(resource.type);
    }
  }
  // Root table, one table per type, one language table per resource, data entries, data.
  size_t size = tableBytes(types.size());
  std::vector<uint32_t> typeTables;
  for (uint16_t type : types) {
    typeTables.push_back(static_cast<uint32_t>(size));
    size += tableBytes(std::count_if(resources.begin(), resources.end(),
                                     [&](const Resource& r) { return r.type == type; }));
  }
  std::vector<uint32_t> languageTables;
  for (size_t i = 0; i < resources.size(); ++i) {
    languageTables.push_back(static_cast<uint32_t>(size));
    size += tableBytes(1);
  }
  const size_t dataEntries = size;
  size += resources.size() * kResourceDataEntryBytes;
  std::vector<uint32_t> dataOffsets;
  for (const Resource& resource : resources) {
    size = alignUp(size, kResourceDataAlignment);
    dataOffsets.push_back(static_cast<uint32_t>(size));
    size += resource.data.size();
  }
  if (size > kMaxResourceSectionBytes) {
    throw ImageError("the launcher's resources come to " + std::to_string(size) +
                     " bytes, more than the " + std::to_string(kMaxResourceSectionBytes) +
                     " they may hold");
  }

  std::string out(size, '\0');
  std::vector<uint32_t> rootTargets;
  for (uint32_t table : typeTables) {
    rootTargets.push_back(table | kResourceSubdirectory);
  }
  putTable(out, 0, types, rootTargets);
  for (size_t t = 0; t < types.size(); ++t) {
    std::vector<uint16_t> ids;
    std::vector<uint32_t> targets;
    for (size_t i = 0; i < resources.size(); ++i) {
      if (resources[i].type == types[t]) {
        ids.push_back(resources[i].id);
        targets.push_back(languageTables[i] | kResourceSubdirectory);
      }
    }
    putTable(out, typeTables[t], ids, targets);
  }
  for (size_t i = 0; i < resources.size(); ++i) {
    const uint32_t entry = static_cast<uint32_t>(dataEntries + i * kResourceDataEntryBytes);
    putTable(out, languageTables[i], {kNeutralLanguage}, {entry});
    storeLittleEndian<uint32_t>(out, entry + kResourceDataRva, sectionRva + dataOffsets[i]);
    storeLittleEndian<uint32_t>(out, entry + kResourceDataSize,
                                static_cast<uint32_t>(resources[i].data.size()));
    out.replace(dataOffsets[i], resources[i].data.size(), resources[i].data);
  }
  return out;
}
