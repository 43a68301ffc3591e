// tessaline-core.dll: the sample application's own library. Tessaline-Deck.exe imports it, so
// the loader must find it beside the executable before the program starts.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef TESSALINE_CORE_BUILD
#define TESSALINE_CORE_API extern "C" __declspec(dllexport)
#else
#define TESSALINE_CORE_API extern "C" __declspec(dllimport)
#endif

// Start value of a fingerprint (the 32-bit FNV-1a offset basis).
constexpr uint32_t kFingerprintSeed = 0x811C9DC5u;

// The library's version, "1.20.0.0".
TESSALINE_CORE_API const wchar_t* tessalineCoreVersion();

// Full path of the library as the loader found it; empty when the system cannot tell.
TESSALINE_CORE_API const wchar_t* tessalineCorePath();

// Continues the 32-bit FNV-1a hash `hash` over `bytes` bytes of `data` and returns it, so that
// several files fingerprint as one stream.
TESSALINE_CORE_API uint32_t tessalineFingerprint(uint32_t hash, const void* data, size_t bytes);
