#include "packer/pe/version_block.h"

#include <vector>

#include "packer/pe/image_error.h"
#include "packer/pe/pe_format.h"
#include "rules/little_endian.h"

namespace {

struct Block {
  std::u16string key;
  uint16_t type;
  uint16_t valueLength;
  std::string value;
  std::vector<Block> children;
};

void pad(std::string& out) {
  out.resize(alignUp(out.size(), kVersionAlignment), '\0');
}

void appendUnits(std::string& out, std::u16string_view text) {
  for (char16_t unit : text) {
    appendLittleEndian<uint16_t>(out, unit);
  }
  appendLittleEndian<uint16_t>(out, 0);
}

// Every block starts at a multiple of 4 from the start of the resource, so padding counted from
// the block's own start aligns it there too.
std::string serialize(const Block& block) {
  std::string out(kVersionHeaderBytes, '\0');
  storeLittleEndian(out, kVersionValueLengthField, block.valueLength);
  storeLittleEndian(out, kVersionTypeField, block.type);
  appendUnits(out, block.key);
  pad(out);
  out += block.value;
  for (const Block& child : block.children) {
    pad(out);
    out += serialize(child);
  }
  if (out.size() > UINT16_MAX) {
    throw ImageError("the version strings are too long together: the version block would take " +
                     std::to_string(out.size()) + " bytes, more than its " +
                     std::to_string(UINT16_MAX));
  }
  storeLittleEndian(out, kVersionLengthField, static_cast<uint16_t>(out.size()));
  return out;
}

Block text(std::u16string key, std::u16string_view units) {
  std::string value;
  appendUnits(value, units);
  return {std::move(key), kVersionText, static_cast<uint16_t>(units.size() + 1), value, {}};
}

Block table(std::u16string key, std::vector<Block> children) {
  return {std::move(key), kVersionText, 0, "", std::move(children)};
}

uint32_t high(const VersionNumbers& numbers) {
  return static_cast<uint32_t>(numbers[0]) << 16 | numbers[1];
}
uint32_t low(const VersionNumbers& numbers) {
  return static_cast<uint32_t>(numbers[2]) << 16 | numbers[3];
}

std::string fixedInfo(const VersionInfo& info) {
  const uint32_t fields[kFixedInfoFields] = {kFixedInfoSignature,
                                             kFixedInfoStructVersion,
                                             high(info.fileVersion),
                                             low(info.fileVersion),
                                             high(info.productVersion),
                                             low(info.productVersion),
                                             kFixedInfoFlagsMask,
                                             /* flags */ 0,
                                             kFixedInfoOsWindows32,
                                             kFixedInfoTypeApplication,
                                             /* subtype */ 0,
                                             /* date */ 0,
                                             0};
  std::string out;
  for (uint32_t field : fields) {
    appendLittleEndian(out, field);
  }
  return out;
}

std::u16string baseName(const std::u16string& path) {
  const size_t slash = path.find_last_of(u"/\\");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

// Windows ignores the case of the extension.
std::u16string withoutExe(const std::u16string& name) {
  const std::u16string extension = u".exe";
  if (name.size() < extension.size()) {
    return name;
  }
  const size_t start = name.size() - extension.size();
  for (size_t i = 0; i < extension.size(); ++i) {
    const char16_t unit = name[start + i];
    if ((unit >= u'A' && unit <= u'Z' ? unit - u'A' + u'a' : unit) != extension[i]) {
      return name;
    }
  }
  return name.substr(0, start);
}

}  // namespace

std::string versionBlock(const VersionInfo& info) {
  const std::u16string mainName = baseName(info.main);
  const Block strings0 = table(
      u"000004b0",
      {text(u"CompanyName", info.company), text(u"ProductName", info.product),
       text(u"FileDescription", info.description), text(u"LegalCopyright", info.copyright),
       text(u"ProductVersion", info.productVersionText), text(u"FileVersion", info.fileVersionText),
       text(u"OriginalFilename", mainName), text(u"InternalName", withoutExe(mainName))});
  std::string translation;
  appendLittleEndian<uint16_t>(translation, 0);  // language neutral
  appendLittleEndian<uint16_t>(translation, kUnicodeCodePage);
  const Block root{u"VS_VERSION_INFO",
                   kVersionBinary,
                   static_cast<uint16_t>(kFixedInfoBytes),
                   fixedInfo(info),
                   {table(u"StringFileInfo", {strings0}),
                    table(u"VarFileInfo", {{u"Translation",
                                            kVersionBinary,
                                            static_cast<uint16_t>(translation.size()),
                                            translation,
                                            {}}})}};
  return serialize(root);
}
