#include "packer/region/region_reader.h"

#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include "packer/app/windows_names.h"
#include "packer/messages/pack_error.h"
#include "packer/messages/text_encoding.h"
#include "packer/pe/image_error.h"
#include "packer/pe/launcher_descriptor.h"
#include "packer/pe/pe_format.h"
#include "packer/pe/windows_program.h"
#include "packer/region/entry_table.h"
#include "packer/system/file_system.h"
#include "packer/system/whole_file.h"
#include "rules/little_endian.h"
#include "rules/payload_format.h"

namespace {

std::string hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

// The decompressed entry stream of one frame, pulled on demand.
class EntryStream {
 public:
  EntryStream(const unsigned char* frame, size_t frameBytes)
      : context_(ZSTD_createDCtx(), ZSTD_freeDCtx),
        in_{frame, frameBytes, 0},
        buffer_(ZSTD_DStreamOutSize()) {
    if (!context_) {
      throw PackError("cannot create a zstd decompression context");
    }
  }

  // Fills `data` with the next `size` bytes; false when the frame's content ends first.
  bool read(void* data, size_t size) {
    unsigned char* to = static_cast<unsigned char*>(data);
    while (size > 0) {
      if (next_ == available_ && !refill()) {
        return false;
      }
      const size_t taken = std::min(size, available_ - next_);
      std::memcpy(to, buffer_.data() + next_, taken);
      next_ += taken, to += taken, size -= taken;
    }
    return true;
  }

  // The content has ended and the frame is complete.
  bool atEnd() { return next_ == available_ && !refill(); }

 private:
  // Decodes more content; false when the frame has no more.
  bool refill() {
    next_ = available_ = 0;
    while (!frameDone_ && available_ == 0) {
      if (in_.pos == in_.size) {
        throw PackError("the frame is truncated");
      }
      ZSTD_outBuffer out{buffer_.data(), buffer_.size(), 0};
      const size_t result = ZSTD_decompressStream(context_.get(), &out, &in_);
      if (ZSTD_isError(result)) {
        throw PackError(std::string("the frame does not decode: ") + ZSTD_getErrorName(result));
      }
      available_ = out.pos;
      frameDone_ = result == 0;
    }
    return available_ > 0;
  }

  std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx*)> context_;
  ZSTD_inBuffer in_;
  std::vector<unsigned char> buffer_;
  size_t next_ = 0;
  size_t available_ = 0;
  bool frameDone_ = false;
};

[[noreturn]] void failEntry(size_t index, const std::u16string& name, const std::string& why) {
  constexpr size_t kShownUnits = 64;
  std::string which = "entry " + std::to_string(index + 1);
  if (!name.empty()) {
    which += " (" + utf16ToUtf8(name.substr(0, kShownUnits)) +
             (name.size() > kShownUnits ? "...)" : ")");
  }
  throw PackError(which + ": " + why);
}

// The next name, empty for the terminator.
std::u16string readName(EntryStream& stream, size_t index) {
  std::u16string name;
  unsigned char unit[kNameUnitBytes];
  while (true) {
    if (!stream.read(unit, sizeof unit)) {
      failEntry(index, name, "the entry stream ends in a name");
    }
    const char16_t value = readLittleEndian<uint16_t>(unit);
    if (value == kNameTerminator) {
      return name;
    }
    if (name.size() == kMaxNameUnits) {
      failEntry(index, name, "name longer than " + std::to_string(kMaxNameUnits) + " units");
    }
    name += value;
  }
}

// Reads the entry's data to check it, keeping its first bytes in `head` when not null.
RegionEntry readEntry(EntryStream& stream, std::u16string name, size_t index,
                      std::vector<unsigned char>* head) {
  const std::string nameProblem = windowsNameProblem(name);
  if (!nameProblem.empty()) {
    failEntry(index, name, "name " + nameProblem);
  }
  unsigned char fields[kSizeFieldBytes + kChecksumFieldBytes];
  if (!stream.read(fields, sizeof fields)) {
    failEntry(index, name, "the entry stream ends in the size or checksum");
  }
  RegionEntry entry{std::move(name), readLittleEndian<uint64_t>(fields),
                    readLittleEndian<uint32_t>(fields + kSizeFieldBytes)};
  if (entry.size > kMaxFileBytes) {
    failEntry(index, entry.name, "size " + std::to_string(entry.size) + " is over the limit");
  }
  if (entry.storedChecksum == 0) {
    failEntry(index, entry.name, "stored checksum is 0");
  }
  uLong crc = crc32(0, Z_NULL, 0);
  unsigned char chunk[1 << 16];
  for (uint64_t left = entry.size; left > 0;) {
    const size_t size = static_cast<size_t>(std::min<uint64_t>(left, sizeof chunk));
    if (!stream.read(chunk, size)) {
      failEntry(index, entry.name, "the entry stream ends in the data");
    }
    crc = crc32(crc, chunk, static_cast<uInt>(size));
    if (head != nullptr && head->size() < kProgramHeadBytes) {
      head->insert(head->end(), chunk, chunk + std::min(size, kProgramHeadBytes - head->size()));
    }
    left -= size;
  }
  const uint32_t computed = storedChecksum(static_cast<uint32_t>(crc));
  if (computed != entry.storedChecksum) {
    failEntry(index, entry.name,
              "stored checksum " + hex32(entry.storedChecksum) + ", data gives " + hex32(computed));
  }
  return entry;
}

std::vector<RegionEntry> readEntries(const unsigned char* frame, size_t frameBytes,
                                     std::vector<unsigned char>& mainHead) {
  EntryStream stream(frame, frameBytes);
  std::vector<RegionEntry> entries;
  while (true) {
    std::u16string name = readName(stream, entries.size());
    if (name.empty()) {
      break;
    }
    entries.push_back(
        readEntry(stream, std::move(name), entries.size(), entries.empty() ? &mainHead : nullptr));
  }
  if (!stream.atEnd()) {
    throw PackError("the frame holds data after the terminator");
  }
  std::vector<std::u16string> names;
  for (const RegionEntry& entry : entries) {
    names.push_back(entry.name);
  }
  const auto conflicts = findNameConflicts(names);
  if (!conflicts.empty()) {
    throw PackError("\"" + utf16ToUtf8(conflicts.front().first) + "\" and \"" +
                    utf16ToUtf8(conflicts.front().second) + "\" would be one file on Windows");
  }
  return entries;
}

// The frame's length from its block headers, without decoding it.
size_t frameLength(const unsigned char* frame, size_t available) {
  const size_t length = ZSTD_findFrameCompressedSize(frame, available);
  if (ZSTD_isError(length)) {
    throw PackError(std::string("the frame is damaged or truncated: ") + ZSTD_getErrorName(length));
  }
  return length;
}

// Checks the bytes after the frame of the region at `region`; returns the region's length.
size_t checkTrailer(const unsigned char* region, size_t available, size_t frameBytes) {
  const size_t padAt = kPayloadMagicBytes + frameBytes;
  if (available < regionLength(frameBytes)) {
    throw PackError("the region is truncated: its trailer is missing");
  }
  if (region[padAt] != kTrailerPadByte) {
    throw PackError("the byte after the frame is " + std::to_string(region[padAt]) + ", not " +
                    std::to_string(kTrailerPadByte));
  }
  const uint64_t stored = readLittleEndian<uint64_t>(region + padAt + kTrailerPadBytes);
  if (stored != trailerLengthValue(frameBytes)) {
    throw PackError("the trailer holds " + std::to_string(stored) + ", not the " +
                    std::to_string(trailerLengthValue(frameBytes)) + " bytes before it");
  }
  return regionLength(frameBytes);
}

bool startsWith(const std::vector<unsigned char>& file, size_t at, const unsigned char* bytes,
                size_t size) {
  return file.size() - at >= size && std::memcmp(file.data() + at, bytes, size) == 0;
}

// The region file's region: the whole file.
Region regionOfRegionFile(const std::vector<unsigned char>& file) {
  if (!startsWith(file, 0, kPayloadMagic, kPayloadMagicBytes)) {
    throw PackError("wrong magic: a region starts with \"VXJ\"");
  }
  const size_t frameBytes =
      frameLength(file.data() + kPayloadMagicBytes, file.size() - kPayloadMagicBytes);
  const size_t length = checkTrailer(file.data(), file.size(), frameBytes);
  if (length != file.size()) {
    throw PackError(std::to_string(file.size() - length) + " bytes follow the region's trailer");
  }
  return Region{0, length, {}, {}};
}

// The first place in the executable where the magic, the frame magic and the packer's frame
// descriptor, a frame and a trailer that counts it follow each other. The window byte after the
// descriptor takes part only through the frame: packers declare windows of several sizes.
Region regionInExecutable(const std::vector<unsigned char>& file) {
  std::vector<unsigned char> marker(kPayloadMagic, kPayloadMagic + kPayloadMagicBytes);
  marker.insert(marker.end(), std::begin(kFrameMagic), std::end(kFrameMagic));
  marker.push_back(kFrameDescriptor);
  std::optional<std::string> firstProblem;
  for (auto at = file.begin();
       (at = std::search(at, file.end(), marker.begin(), marker.end())) != file.end(); ++at) {
    const size_t offset = static_cast<size_t>(at - file.begin());
    try {
      const unsigned char* region = file.data() + offset;
      const size_t available = file.size() - offset;
      const size_t frameBytes =
          frameLength(region + kPayloadMagicBytes, available - kPayloadMagicBytes);
      return Region{offset, checkTrailer(region, available, frameBytes), {}, {}};
    } catch (const PackError& problem) {
      if (!firstProblem) {
        firstProblem = "at offset " + std::to_string(offset) + ": " + problem.what();
      }
    }
  }
  if (firstProblem) {
    throw PackError("no complete region in the executable; " + *firstProblem);
  }
  throw PackError(
      "no region in the executable: it is not a launcher that tarnic-pack wrote (no \"VXJ\" "
      "followed by a frame's header)");
}

// What a launcher's descriptor points at: its region and its entry table.
struct LauncherData {
  Region region;
  const unsigned char* table;
  uint32_t tableLength;
};

// The launcher's region and table as its descriptor gives them, checked as the launcher checks
// them; nothing when the executable is no image with a descriptor section.
std::optional<LauncherData> launcherData(const std::vector<unsigned char>& file) {
  std::optional<DescribedData> described;
  try {
    described = describedData(file);
  } catch (const ImageError& problem) {
    throw PackError(problem.what());
  }
  if (!described) {
    return std::nullopt;
  }
  const unsigned char* region = described->region;
  const uint32_t regionBytes = described->regionLength;
  if (region == nullptr || regionBytes < kRegionOverheadBytes ||
      !startsWith(file, static_cast<size_t>(region - file.data()), kPayloadMagic,
                  kPayloadMagicBytes)) {
    throw PackError(
        "the launcher's descriptor gives no region, or one that does not start with \"VXJ\"");
  }
  const size_t frameBytes =
      frameLength(region + kPayloadMagicBytes, regionBytes - kPayloadMagicBytes);
  if (checkTrailer(region, regionBytes, frameBytes) != regionBytes) {
    throw PackError("the region the launcher's descriptor gives holds bytes after its trailer");
  }
  return LauncherData{Region{static_cast<size_t>(region - file.data()), regionBytes, {}, {}},
                      described->table, described->tableLength};
}

}  // namespace

Region readRegion(const std::vector<unsigned char>& file) {
  const bool executable =
      file.size() >= sizeof kDosMagic && readLittleEndian<uint16_t>(file.data()) == kDosMagic;
  const std::optional<LauncherData> launcher = executable ? launcherData(file) : std::nullopt;
  Region region = launcher     ? launcher->region
                  : executable ? regionInExecutable(file)
                               : regionOfRegionFile(file);
  const size_t frameBytes = region.length - kRegionOverheadBytes;
  region.entries =
      readEntries(file.data() + region.offset + kPayloadMagicBytes, frameBytes, region.mainHead);
  // A table, when the launcher has one, must list the region's entries as they are.
  if (launcher && launcher->tableLength != 0) {
    checkTableListsEntries(launcher->table, launcher->tableLength, region.entries,
                           "the launcher's entry table");
  }
  return region;
}

RegionFile readRegionFile(const std::filesystem::path& path) {
  RegionFile file{readWholeFile(path), {}};
  try {
    file.region = readRegion(file.bytes);
  } catch (const PackError& problem) {
    throw PackError(printablePath(path) + ": " + problem.what());
  }
  return file;
}

std::vector<unsigned char> firstEntryBytes(const RegionFile& file, uint64_t offset, uint64_t size) {
  const Region& region = file.region;
  if (region.entries.empty() || offset > region.entries.front().size ||
      size > region.entries.front().size - offset) {
    throw PackError("the bytes sought run past the end of the region's first entry");
  }
  EntryStream stream(file.bytes.data() + region.offset + kPayloadMagicBytes,
                     region.length - kRegionOverheadBytes);
  readName(stream, 0);
  unsigned char skipped[1 << 16];
  for (uint64_t left = kSizeFieldBytes + kChecksumFieldBytes + offset; left > 0;) {
    const size_t chunk = static_cast<size_t>(std::min<uint64_t>(left, sizeof skipped));
    stream.read(skipped, chunk);
    left -= chunk;
  }
  std::vector<unsigned char> bytes(static_cast<size_t>(size));
  stream.read(bytes.data(), bytes.size());
  return bytes;
}
