#include "packer/version_block.h"

#include <cctype>
#include <vector>

#include "packer/pack_error.h"
#include "packer/pe_format.h"
#include "packer/text_encoding.h"
#include "payload/little_endian.h"

namespace {

struct Block {
  std::u16string key;
  uint16_t type;
  uint16_t valueLength;
  std::string value;
  std::vector<Block> children;
};

void pad(std::string& out) {
  out.resize((out.size() + kVersionAlignment - 1) & ~(kVersionAlignment - 1), '\0');
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
  std::string out(6, '\0');
  storeLittleEndian(reinterpret_cast<unsigned char*>(out.data()) + 2, block.valueLength);
  storeLittleEndian(reinterpret_cast<unsigned char*>(out.data()) + 4, block.type);
  appendUnits(out, block.key);
  pad(out);
  out += block.value;
  for (const Block& child : block.children) {
    pad(out);
    out += serialize(child);
  }
  if (out.size() > UINT16_MAX) {
    throw PackError("the version strings are too long together: the version block would take " +
                    std::to_string(out.size()) + " bytes, more than its " +
                    std::to_string(UINT16_MAX));
  }
  storeLittleEndian(reinterpret_cast<unsigned char*>(out.data()),
                    static_cast<uint16_t>(out.size()));
  return out;
}

Block text(std::u16string key, std::string_view utf8) {
  const std::u16string units = utf8ToUtf16(utf8).value();
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

std::string fixedInfo(const LauncherConfig& config) {
  const uint32_t fields[kFixedInfoFields] = {kFixedInfoSignature,
                                             kFixedInfoStructVersion,
                                             high(config.fileVersion),
                                             low(config.fileVersion),
                                             high(config.productVersion),
                                             low(config.productVersion),
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

std::string baseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Windows ignores the case of the extension.
std::string withoutExe(const std::string& name) {
  const std::string extension = ".exe";
  if (name.size() < extension.size()) {
    return name;
  }
  const size_t start = name.size() - extension.size();
  for (size_t i = 0; i < extension.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(name[start + i])) != extension[i]) {
      return name;
    }
  }
  return name.substr(0, start);
}

}  // namespace

std::string versionBlock(const LauncherConfig& config) {
  const VersionStrings& strings = config.strings;
  const std::string mainName = baseName(config.main);
  const Block strings0 = table(
      u"000004b0",
      {text(u"CompanyName", strings.company), text(u"ProductName", strings.product),
       text(u"FileDescription", strings.product), text(u"LegalCopyright", strings.copyright),
       text(u"ProductVersion", strings.productVersion), text(u"FileVersion", strings.fileVersion),
       text(u"OriginalFilename", mainName), text(u"InternalName", withoutExe(mainName))});
  std::string translation;
  appendLittleEndian<uint16_t>(translation, 0);  // language neutral
  appendLittleEndian<uint16_t>(translation, kUnicodeCodePage);
  const Block root{u"VS_VERSION_INFO",
                   kVersionBinary,
                   static_cast<uint16_t>(kFixedInfoBytes),
                   fixedInfo(config),
                   {table(u"StringFileInfo", {strings0}),
                    table(u"VarFileInfo", {{u"Translation",
                                            kVersionBinary,
                                            static_cast<uint16_t>(translation.size()),
                                            translation,
                                            {}}})}};
  return serialize(root);
}
