// Names the launcher takes as one whatever their letters' case, as the file system and its own
// tokens do.
#pragma once

#include <cstddef>
#include <cstdint>

// `c` with a-z as A-Z.
wchar_t foldAsciiCase(wchar_t c);

// Whether `a` and `b` (`units` long each) are equal in any case, by the system's own case
// mapping of every letter: how the file system compares names.
bool equalIgnoringCase(const wchar_t* a, const wchar_t* b, size_t units);

// 64-bit FNV-1a over the `units` units of `text`, each in the system's upper case: the same for
// every spelling that equalIgnoringCase takes as one.
uint64_t caseFoldedHash(const wchar_t* text, size_t units);
