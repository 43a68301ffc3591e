// The configuration of the test programs that link launcher code, in place of an image's.
#include "configuration/launcher_values.h"

const wchar_t* targetSpec() {
  return L"{TEMP}\\tarnic-tests\\{PRODUCT}";
}
const wchar_t* companyName() {
  return L"Zarvel Dynamics";
}
const wchar_t* productName() {
  return L"Tessaline Deck";
}
const wchar_t* versionString() {
  return L"1.20.0.0";
}
const wchar_t* fileVersionString() {
  return L"1.20.0.1";
}
const wchar_t* productVersionString() {
  return L"1.20.0.2";
}

namespace {

constexpr wchar_t kFixedArguments[] = L"{TARGET_DIR}\\tool\\cli.js\0two words";

}  // namespace

FixedArguments fixedArguments() {
  return {kFixedArguments, sizeof kFixedArguments / sizeof(wchar_t)};
}

uint32_t launchOptions() {
  return 0;
}
