#include "packer/region/region_writer.h"

#include <zlib.h>
// ZSTD_getFrameProgression, for the progress line, and ZSTD_getCParams: interfaces of the
// library's advanced part, which is fine for a program that links the library statically.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "packer/messages/pack_error.h"
#include "packer/messages/text_encoding.h"
#include "packer/region/progress.h"
#include "packer/system/file_system.h"
#include "packer/system/output_file.h"
#include "rules/little_endian.h"
#include "rules/payload_format.h"

namespace {

constexpr size_t kReadChunkBytes = 1 << 20;

// Each job reloads this share of the window from before it (7: a quarter of the library's full
// overlap, 8 MiB at level 3; at the default level, whose long-distance matching reaches further
// back, the library sizes it by its own job size instead: 4 MiB). Against 6 it
// shrinks the benchmark's region of 240 MB by 1.9 % at the default level and 0.7 % at level 3,
// in about the same processor time. At level 3 the 16 MiB that a window of 2^27 gave took
// twice the processor time on the larger applications, for regions up to 0.6 % larger.
constexpr int kOverlapLog = 7;

// The library turns long-distance matching on by itself for its optimal parsers (the default
// level's among them) at a window of 2^27 alone. Their match finders reach back a few MiB;
// long-distance matching finds the application's longer repeats anywhere in the window. With
// it, at a window of 2^25, the benchmark's regions of 31 and 240 MB come out 0.02 % and 1.5 %
// smaller than at 2^27; without it 0.01 % and 1.3 % smaller, for a quarter to a third more
// processor time.
bool usesLongDistanceMatching(int level) {
  return ZSTD_getCParams(level, ZSTD_CONTENTSIZE_UNKNOWN, /* no dictionary */ 0).strategy >=
         ZSTD_btopt;
}

// One zstd frame written to a file as the entry stream is fed to it.
class FrameWriter {
 public:
  FrameWriter(const Compression& compression, int windowLog, const RegionSink& out,
              Progress& progress)
      : context_(ZSTD_createCCtx(), ZSTD_freeCCtx),
        out_(out),
        progress_(progress),
        buffer_(ZSTD_CStreamOutSize()),
        expectedHeader_(std::begin(kFrameMagic), std::end(kFrameMagic)) {
    if (!context_) {
      throw PackError("cannot create a zstd compression context");
    }
    expectedHeader_ += static_cast<char>(kFrameDescriptor);
    expectedHeader_ += static_cast<char>(frameWindowDescriptor(windowLog));
    setParameter(ZSTD_c_compressionLevel, compression.level);
    setParameter(ZSTD_c_windowLog, windowLog);
    if (usesLongDistanceMatching(compression.level)) {
      setParameter(ZSTD_c_enableLongDistanceMatching, ZSTD_ps_enable);
    }
    setParameter(ZSTD_c_checksumFlag, 0);
    setParameter(ZSTD_c_contentSizeFlag, 0);
    setWorkers(compression.threads);
  }

  void write(const void* data, size_t size) {
    ZSTD_inBuffer in{data, size, 0};
    while (in.pos < in.size) {
      drain(ZSTD_compressStream2(context_.get(), &output(), &in, ZSTD_e_continue));
    }
  }

  // Ends the frame and returns its length.
  uint64_t finish() {
    ZSTD_inBuffer in{nullptr, 0, 0};
    size_t remaining;
    do {
      remaining = ZSTD_compressStream2(context_.get(), &output(), &in, ZSTD_e_end);
      drain(remaining);
    } while (remaining != 0);
    if (header_ != expectedHeader_) {
      throw PackError("the zstd library wrote a frame header other than the launcher's");
    }
    return frameBytes_;
  }

 private:
  void setParameter(ZSTD_cParameter parameter, int value) {
    const size_t result = ZSTD_CCtx_setParameter(context_.get(), parameter, value);
    if (ZSTD_isError(result)) {
      throw PackError(std::string("zstd refuses a compression setting: ") +
                      ZSTD_getErrorName(result));
    }
  }

  // Worker mode makes the frame independent of the thread count; a library built without
  // threads compresses on the calling thread, which gives other (still valid) bytes.
  void setWorkers(unsigned threads) {
    const ZSTD_bounds bounds = ZSTD_cParam_getBounds(ZSTD_c_nbWorkers);
    if (ZSTD_isError(bounds.error) || bounds.upperBound < 1) {
      std::fprintf(stderr,
                   "tarnic-pack: note: this zstd library has no worker threads; compressing on "
                   "one thread, so the region differs from one made with workers\n");
      return;
    }
    setParameter(ZSTD_c_nbWorkers,
                 static_cast<int>(std::min<unsigned>(threads, bounds.upperBound)));
    setParameter(ZSTD_c_jobSize, kCompressionJobBytes);
    setParameter(ZSTD_c_overlapLog, kOverlapLog);
  }

  ZSTD_outBuffer& output() {
    outBuffer_ = ZSTD_outBuffer{buffer_.data(), buffer_.size(), 0};
    return outBuffer_;
  }

  void drain(size_t result) {
    if (ZSTD_isError(result)) {
      throw PackError(std::string("compression failed: ") + ZSTD_getErrorName(result));
    }
    const size_t wanted = kFrameHeaderBytes - header_.size();
    header_.append(buffer_.data(), std::min(wanted, outBuffer_.pos));
    out_(buffer_.data(), outBuffer_.pos);
    frameBytes_ += outBuffer_.pos;
    // What the workers have compressed, not what they were handed: they take input far ahead.
    const ZSTD_frameProgression done = ZSTD_getFrameProgression(context_.get());
    progress_.compressed(done.consumed, done.produced);
  }

  std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx*)> context_;
  const RegionSink& out_;
  Progress& progress_;
  std::vector<char> buffer_;
  ZSTD_outBuffer outBuffer_{};
  std::string expectedHeader_;
  std::string header_;  // the frame's first bytes, to check against expectedHeader_
  uint64_t frameBytes_ = 0;
};

// The window log of the frame of an entry stream of `streamBytes` (see kLongStreamWindowLog).
int frameWindowLog(uint64_t streamBytes) {
  if (streamBytes >= kCompressionJobBytes) {
    return kLongStreamWindowLog;
  }
  int log = kMinFrameWindowLog;
  while ((uint64_t{1} << log) < streamBytes) {
    ++log;
  }
  return log;
}

// Reads the open file from its start in chunks, handing each to `use`; it must still have its
// size.
template <typename Use>
void readChunks(const AppFile& file, const OpenedFile& opened, std::vector<char>& chunk, Use use) {
  std::FILE* stream = opened.stream.get();
  std::rewind(stream);
  uint64_t total = 0;
  size_t got;
  while ((got = std::fread(chunk.data(), 1, chunk.size(), stream)) > 0) {
    total += got;
    if (total > opened.size) {
      break;
    }
    use(chunk.data(), got);
  }
  if (std::ferror(stream)) {
    throw PackError(printablePath(file.source) + ": cannot be read: " + std::strerror(errno));
  }
  if (total != opened.size) {
    throw PackError(printablePath(file.source) + ": changed while it was packed");
  }
}

uint32_t crcOf(const AppFile& file, const OpenedFile& opened, std::vector<char>& chunk) {
  uLong crc = crc32(0, Z_NULL, 0);
  readChunks(file, opened, chunk, [&](const char* data, size_t size) {
    crc = crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size));
  });
  return static_cast<uint32_t>(crc);
}

std::string entryHeader(const AppFile& file, uint64_t size, uint32_t crc) {
  std::string header;
  for (char16_t unit : file.name) {
    appendLittleEndian<uint16_t>(header, unit);
  }
  appendLittleEndian<uint16_t>(header, kNameTerminator);
  appendLittleEndian<uint64_t>(header, size);
  appendLittleEndian<uint32_t>(header, storedChecksum(crc));
  return header;
}

// The checksum precedes the data, so each file is read twice through one handle: once for its
// checksum and once into the frame, which must give the same checksum. Size, checksum and data
// all come from the file the walk found, whatever happens to its name meanwhile.
void writeEntry(FrameWriter& frame, const AppFile& file, std::vector<char>& chunk,
                Progress& progress) {
  const OpenedFile opened = openFoundFile(file.file, file.id, file.source);
  if (opened.size != file.size) {
    throw PackError(printablePath(file.source) + ": changed while it was packed");
  }
  const uint32_t crc = crcOf(file, opened, chunk);
  const std::string header = entryHeader(file, opened.size, crc);
  frame.write(header.data(), header.size());
  uLong written = crc32(0, Z_NULL, 0);
  readChunks(file, opened, chunk, [&](const char* data, size_t size) {
    written = crc32(written, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size));
    frame.write(data, size);
  });
  if (written != crc) {
    throw PackError(printablePath(file.source) + ": changed while it was packed");
  }
  progress.fileRead();
}

}  // namespace

unsigned defaultThreads() {
  return std::max(1u, std::thread::hardware_concurrency());
}

int maxCompressionLevel() {
  return ZSTD_maxCLevel();
}

uint64_t writeRegion(const std::vector<AppFile>& files, const Compression& compression,
                     const RegionSink& out) {
  uint64_t streamBytes = sizeof kNameTerminator;
  for (const AppFile& file : files) {
    streamBytes += entryHeader(file, file.size, 0).size() + file.size;
  }
  Progress progress(compression.progress, files.size(), streamBytes);
  out(reinterpret_cast<const char*>(kPayloadMagic), kPayloadMagicBytes);
  FrameWriter frame(compression, frameWindowLog(streamBytes), out, progress);
  std::vector<char> chunk(kReadChunkBytes);
  for (const AppFile& file : files) {
    writeEntry(frame, file, chunk, progress);
  }
  std::string terminator;
  appendLittleEndian<uint16_t>(terminator, kNameTerminator);
  frame.write(terminator.data(), terminator.size());
  const uint64_t frameBytes = frame.finish();
  std::string trailer(kTrailerPadBytes, static_cast<char>(kTrailerPadByte));
  appendLittleEndian<uint64_t>(trailer, trailerLengthValue(frameBytes));
  out(trailer.data(), trailer.size());
  return regionLength(frameBytes);
}

uint64_t writeRegion(const std::vector<AppFile>& files, const Compression& compression,
                     std::FILE* out) {
  return writeRegion(files, compression, [out](const char* data, size_t size) {
    if (std::fwrite(data, 1, size, out) != size) {
      throw PackError(std::string("cannot write the region: ") + std::strerror(errno));
    }
  });
}
