// The launcher's unpacking measured in-process, beside the work it cannot avoid: decompressing
// the frame, computing the CRCs and writing the files.
#pragma once

#include <string>

// Runs `runs` rounds of every in-process measurement on the region file `region`, each in a
// fresh process, and writes one "<figure>\t<round>\t<key>\t<value>" line per result to standard
// output. Checks afterwards that the unpacked files are the region's and that the second start
// rewrote none of them.
void runUnpackSuite(const std::wstring& region, int runs);

// One measurement `kind` on `region`, writing into `folder`; prints "<key> <value>" lines.
// Returns false for an unknown kind.
bool measureOnce(const std::wstring& kind, const std::wstring& region, const std::wstring& folder);
