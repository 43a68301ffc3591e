#include "packer/system/windows_error.h"

#include <memory>

#include "packer/messages/text_encoding.h"

std::string windowsErrorText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      /* the buffer's address, for ALLOCATE_BUFFER */ reinterpret_cast<wchar_t*>(&text), 0,
      nullptr);
  const std::unique_ptr<wchar_t, HLOCAL (*)(HLOCAL)> owned(text, LocalFree);
  std::u16string units(reinterpret_cast<const char16_t*>(text), length);
  while (!units.empty() &&
         (units.back() == u'\n' || units.back() == u'\r' || units.back() == u' ')) {
    units.pop_back();
  }
  const std::string prefix = "[Error " + std::to_string(code) + "]";
  return units.empty() ? prefix : prefix + " " + utf16ToUtf8(units);
}
