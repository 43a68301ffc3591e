// Reads the launcher's own image descriptor: every value the packer placed lies at the image
// base plus the RVA its field gives.
#include "launcher/own_image.h"

#include <windows.h>

#include <cstring>

#include "configuration/launcher_values.h"
#include "diagnostics/fatal.h"
#include "rules/little_endian.h"

// In launcher/own_image_descriptor.cpp; the packer fills it in the image.
extern "C" const DescriptorBytes kImageDescriptor;
// The linker's symbol at the image base, wherever the loader put the image; the name is the
// linker's.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
extern "C" const IMAGE_DOS_HEADER __ImageBase;

namespace {

bool descriptorChecked;

// The image's data section as the loader mapped it; none when it has no such section.
DescriptorData mappedData(const unsigned char* base, const IMAGE_NT_HEADERS64* headers) {
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
  for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
    if (strncmp(reinterpret_cast<const char*>(section->Name), kDataSection,
                IMAGE_SIZEOF_SHORT_NAME) == 0) {
      return {section->VirtualAddress, base + section->VirtualAddress, section->Misc.VirtualSize};
    }
  }
  return {0, nullptr, 0};
}

const wchar_t* string(DescriptorField which) {
  const ImageField value = imageField(which);
  return value.length == 0 ? L"" : reinterpret_cast<const wchar_t*>(value.bytes);
}

}  // namespace

void checkImageDescriptor() {
  // The module handle is the image base; reached that way, the headers are no part of the one
  // object the linker's symbol names.
  const auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  if (!isSoundDescriptor(kImageDescriptor.data(), mappedData(base, headers),
                         headers->OptionalHeader.SizeOfImage)) {
    failHeaderMissing();
  }
  descriptorChecked = true;
}

ImageField imageField(DescriptorField field) {
  if (!descriptorChecked) {
    return {nullptr, 0};
  }
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

uint32_t launchOptions() {
  const ImageField value = imageField(kLaunchOptionsField);
  return value.length == kLaunchOptionsBytes ? readLittleEndian<uint32_t>(value.bytes) : 0;
}

FixedArguments fixedArguments() {
  const ImageField value = imageField(kFixedArgumentsField);
  return {reinterpret_cast<const wchar_t*>(value.bytes), value.length / sizeof(wchar_t)};
}
