// Checking the fixed arguments of [application] before a launcher carries them: the launcher
// could only fail on them at run time (rules/fixed_arguments.h holds the rules both share).
#pragma once

#include <string>
#include <vector>

// Why a launcher would refuse `argument`, or "" when it takes it: a brace that is not part of a
// {TARGET_DIR} (an unknown or empty token name, a "{" inside a name or never closed, a "}" with
// no open name).
std::string fixedArgumentProblem(const std::u16string& argument);

// Why `arguments` could not always fit on the child's command line, or "": quoted, with the
// longest target directory, they could take more than their room there.
std::string fixedArgumentsLengthProblem(const std::vector<std::u16string>& arguments);

// The arguments as the launcher image carries them: each followed by a NUL.
std::u16string joinFixedArguments(const std::vector<std::u16string>& arguments);
