// Where the payload code's time goes: the profiled benchmark program routes every outside call
// that the code makes (decoder, crc32, file system) through a timer. The Win32 calls are
// caught at the import pointers, which this object defines in place of the system's import
// libraries; the library calls through the linker's --wrap.
#pragma once

#include <atomic>
#include <cstdint>

enum ProfiledCall {
  kDecoderCall,
  kCrcCall,
  kCreateFileCall,
  kFileSizeCall,
  kReadFileCall,
  kCloseHandleCall,
  kWriteFileCall,
  kMoveFileCall,
  kCreateDirectoryCall,
  kProfiledCallCount
};

// Added to by every thread that makes the call: a second start verifies files on several.
struct CallTotals {
  std::atomic<int64_t> ticks;  // QueryPerformanceCounter ticks spent inside the calls
  std::atomic<uint64_t> calls;
};

// Sets every total to 0.
void resetProfile();

const CallTotals& callTotals(ProfiledCall call);

// Short name of the call, for the figures' keys.
const char* callName(ProfiledCall call);
