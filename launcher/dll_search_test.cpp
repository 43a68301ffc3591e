#include "launcher/dll_search.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/support/probe.h"
#include "tests/support/process.h"
#include "tests/support/system_seams.h"

namespace {

// A DLL of no use, built beside the test program, that nothing but the current directory could
// lead the loader to.
constexpr wchar_t kPlantedDll[] = L"tarnic-planted.dll";

std::wstring plantedFolder() {
  std::wstring self = ownPath();
  return self.substr(0, self.rfind(L'\\')) + L"\\planted";
}

}  // namespace

TARNIC_PROBE(load_planted_dll) {
  if (_wgetenv(L"TARNIC_TEST_RESTRICT") != nullptr) {
    restrictDllSearch();
  }
  const SystemCalls& calls = systemCalls();
  printf("%s|%d", LoadLibraryW(kPlantedDll) != nullptr ? "loaded" : "not loaded",
         calls.dllDirectory.size() == 1 && calls.dllDirectory[0].empty());
}

TEST(RestrictDllSearch, KeepsADllPlantedInTheCurrentDirectoryFromBeingLoaded) {
  ProcessOptions options;
  options.currentDirectory = plantedFolder();
  // The planted DLL is what the loader finds without the restriction.
  EXPECT_EQ(runProbe("load_planted_dll", options).out, "loaded|0");
  options.setEnvironment[L"TARNIC_TEST_RESTRICT"] = L"1";
  EXPECT_EQ(runProbe("load_planted_dll", options).out, "not loaded|1");
}
