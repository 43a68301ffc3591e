// The values of one launcher, which the packer placed into its image from the launcher's
// configuration file: the target spec and the strings of the version block. Each is a
// NUL-terminated UTF-16 string in the image's read-only data, found through the image's
// descriptor (build/image_descriptor.h); an image the packer has not filled gives "".
#pragma once

const wchar_t* targetSpec();
const wchar_t* companyName();
const wchar_t* productName();
const wchar_t* versionString();
const wchar_t* fileVersionString();
const wchar_t* productVersionString();
