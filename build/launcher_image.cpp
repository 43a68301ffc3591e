// Reads the launcher's own image descriptor: every value the packer placed lies at the image
// base plus the RVA its field gives.
#include "build/launcher_image.h"

#include <windows.h>

#include "build/launcher_config.h"
#include "payload/little_endian.h"

// In build/image_descriptor.cpp; the packer fills it in the image.
extern "C" const DescriptorBytes kImageDescriptor;
// The linker's symbol at the image base, wherever the loader put the image; the name is the
// linker's.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
extern "C" const IMAGE_DOS_HEADER __ImageBase;

namespace {

const wchar_t* string(DescriptorField which) {
  const ImageField value = imageField(which);
  return value.length == 0 ? L"" : reinterpret_cast<const wchar_t*>(value.bytes);
}

}  // namespace

ImageField imageField(DescriptorField field) {
  const unsigned char* at = kImageDescriptor.data() + fieldOffset(field);
  const uint32_t rva = readLittleEndian<uint32_t>(at);
  const uint32_t length = readLittleEndian<uint32_t>(at + kFieldRvaBytes);
  return {reinterpret_cast<const unsigned char*>(&__ImageBase) + rva, length};
}

const wchar_t* targetSpec() {
  return string(kTargetSpecField);
}
const wchar_t* companyName() {
  return string(kCompanyNameField);
}
const wchar_t* productName() {
  return string(kProductNameField);
}
const wchar_t* versionString() {
  return string(kVersionField);
}
const wchar_t* fileVersionString() {
  return string(kFileVersionField);
}
const wchar_t* productVersionString() {
  return string(kProductVersionField);
}

FixedArguments fixedArguments() {
  const ImageField value = imageField(kFixedArgumentsField);
  return {reinterpret_cast<const wchar_t*>(value.bytes), value.length / sizeof(wchar_t)};
}
