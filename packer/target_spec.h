// Checking a target spec before it is compiled into a launcher, which could only fail on it at
// run time.
#pragma once

#include <string>
#include <string_view>

// The launcher's target directory buffer: 4096 units with the terminating NUL.
constexpr size_t kMaxTargetSpecUnits = 4095;

// Why a launcher would refuse `spec` or expand it other than as written, or "" when it would
// not: an empty spec, one over kMaxTargetSpecUnits, an unknown or empty token name (names
// compare without regard to ASCII case), a "}" with no open name, a "{" inside an open name,
// and a "{" never closed.
std::string targetSpecProblem(std::u16string_view spec);
