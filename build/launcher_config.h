// The values of one launcher, which the packer placed into its image from the launcher's
// configuration file: the target spec, the strings of the version block and the fixed
// arguments. Each string is a NUL-terminated UTF-16 string in the image's read-only data, found
// through the image's descriptor (build/image_descriptor.h); an image the packer has not filled
// gives "" and no fixed arguments.
#pragma once

#include <cstddef>

const wchar_t* targetSpec();
const wchar_t* companyName();
const wchar_t* productName();
const wchar_t* versionString();
const wchar_t* fileVersionString();
const wchar_t* productVersionString();

// The fixed arguments: NUL-terminated strings one after another, `length` units in all, the
// last one's NUL included; none when `length` is 0.
struct FixedArguments {
  const wchar_t* units;
  size_t length;
};
FixedArguments fixedArguments();
