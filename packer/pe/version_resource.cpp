#include "packer/pe/version_resource.h"

#include "packer/pe/pe_format.h"
#include "packer/pe/program_resources.h"
#include "rules/little_endian.h"

namespace {

// One block of the tree, as its header and its parent's bounds give it.
struct VersionNode {
  std::u16string key;
  size_t value;       // offset of the value
  size_t valueBytes;  // as its header gives it
  size_t end;         // of the block, its children included
};

uint16_t u16At(const std::vector<unsigned char>& data, size_t at) {
  return readLittleEndian<uint16_t>(data.data() + at);
}

// The block at `at`, which must lie before `limit`.
VersionNode node(const std::vector<unsigned char>& data, size_t at, size_t limit) {
  const size_t length = at + kVersionHeaderBytes <= limit ? u16At(data, at) : 0;
  if (length < kVersionHeaderBytes || length > limit - at) {
    throw ResourceDamage{"its version resource has a block that runs past the one holding it"};
  }
  const size_t valueLength = u16At(data, at + kVersionValueLengthField);
  const bool isText = u16At(data, at + kVersionTypeField) == kVersionText;
  VersionNode result{u"", at + kVersionHeaderBytes, isText ? 2 * valueLength : valueLength,
                     at + length};
  for (; result.value + 2 <= result.end && u16At(data, result.value) != 0; result.value += 2) {
    result.key += static_cast<char16_t>(u16At(data, result.value));
  }
  result.value = alignUp(result.value + 2, kVersionAlignment);
  return result;
}

// The blocks after the value of `parent`.
std::vector<VersionNode> children(const std::vector<unsigned char>& data,
                                  const VersionNode& parent) {
  std::vector<VersionNode> found;
  for (size_t at = alignUp(parent.value + parent.valueBytes, kVersionAlignment); at < parent.end;) {
    found.push_back(node(data, at, parent.end));
    at = alignUp(found.back().end, kVersionAlignment);
  }
  return found;
}

// The text of a string block: its value up to the first NUL. Writers disagree on what the
// value length counts, so the block's end bounds it instead.
std::u16string text(const std::vector<unsigned char>& data, const VersionNode& string) {
  std::u16string value;
  for (size_t at = string.value; at + 2 <= string.end && u16At(data, at) != 0; at += 2) {
    value += static_cast<char16_t>(u16At(data, at));
  }
  return value;
}

VersionNumbers versionAt(const std::vector<unsigned char>& data, size_t at) {
  const uint32_t high = readLittleEndian<uint32_t>(data.data() + at);
  const uint32_t low = readLittleEndian<uint32_t>(data.data() + at + 4);
  return {static_cast<uint16_t>(high >> 16), static_cast<uint16_t>(high),
          static_cast<uint16_t>(low >> 16), static_cast<uint16_t>(low)};
}

ProgramVersion parse(const std::vector<unsigned char>& data) {
  ProgramVersion version;
  version.present = true;
  const VersionNode root = node(data, 0, data.size());
  if (root.key != u"VS_VERSION_INFO") {
    throw ResourceDamage{"its version resource does not start with VS_VERSION_INFO"};
  }
  if (root.valueBytes >= kFixedInfoBytes && root.value + kFixedInfoBytes <= root.end &&
      readLittleEndian<uint32_t>(data.data() + root.value) == kFixedInfoSignature) {
    version.fileVersion = versionAt(data, root.value + kFixedInfoFileVersion);
    version.productVersion = versionAt(data, root.value + kFixedInfoProductVersion);
  }
  for (const VersionNode& info : children(data, root)) {
    if (info.key != u"StringFileInfo") {
      continue;
    }
    const std::vector<VersionNode> tables = children(data, info);
    if (!tables.empty()) {
      for (const VersionNode& string : children(data, tables.front())) {
        version.strings.emplace_back(string.key, text(data, string));
      }
    }
    break;
  }
  return version;
}

}  // namespace

const std::u16string* ProgramVersion::find(std::u16string_view name) const {
  for (const auto& [key, value] : strings) {
    if (key == name) {
      return &value;
    }
  }
  return nullptr;
}

ProgramVersion programVersion(const std::vector<unsigned char>& head, uint64_t fileBytes,
                              const ProgramBytes& read) {
  try {
    const std::optional<ProgramResources> resources = ProgramResources::read(head, fileBytes, read);
    const std::optional<std::vector<unsigned char>> data =
        resources ? resources->first(kResourceVersion) : std::nullopt;
    return data ? parse(*data) : ProgramVersion{};
  } catch (const ResourceDamage& damage) {
    ProgramVersion damaged;
    damaged.present = true;
    damaged.problem = damage.why;
    return damaged;
  }
}
