#include "sample/options.h"

namespace {

constexpr uint64_t kMaxExitCode = 0xFFFFFFFFu;

// Parses decimal digits into a 32-bit exit code, so that 3221225477 is 0xC0000005. Returns
// false for anything but 1 or more digits whose value fits in 32 bits.
bool parseExitCode(const std::wstring& text, uint32_t* code) {
  if (text.empty())
    return false;
  uint64_t value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9')
      return false;
    value = value * 10 + static_cast<uint64_t>(c - L'0');
    if (value > kMaxExitCode)
      return false;
  }
  *code = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

Options parseOptions(int argc, const wchar_t* const* argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::wstring argument = argv[i];
    if (argument == L"--help") {
      options.help = true;
    } else if (argument == L"--exit") {
      if (i + 1 == argc) {
        options.error = L"--exit needs a code";
      } else if (parseExitCode(argv[++i], &options.exitCode)) {
        options.exitCodeGiven = true;
      } else {
        options.error = L"--exit needs a decimal code from 0 to 4294967295, not \"" +
                        std::wstring(argv[i]) + L"\"";
      }
    }
  }
  return options;
}
