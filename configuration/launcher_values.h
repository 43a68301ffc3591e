// The values of one launcher, which the packer placed into its image from the launcher's
// configuration file: the target spec, the strings of the version block and the fixed
// arguments. Each string is a NUL-terminated UTF-16 string in the image's read-only data, found
// through the image's descriptor (rules/image_descriptor.h); an image the packer has not filled
// gives "", no fixed arguments and no options.
//
// The packer places these values; the launcher's code reads them through these functions,
// which the launcher defines by reading its own image (launcher/own_image.cpp) and test
// programs by a configuration of their own (tests/support/test_config.cpp). Declared here, at
// the bottom of the launcher's folders, since its fatal messages and its spec expansion read
// them too; the packer has no use for them.
#pragma once

#include <cstddef>
#include <cstdint>

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

// The launch options (kSharedTargetOption, ...): 0 when the image has none.
uint32_t launchOptions();
