// Entry point of every Windows test program: runs the tests, or with "--probe <name>" one probe.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/support/probe.h"
#include "tests/support/process.h"

namespace {

std::map<std::string, ProbeFunction>& probes() {
  static std::map<std::string, ProbeFunction> registry;
  return registry;
}

}  // namespace

bool registerProbe(const std::string& name, ProbeFunction function) {
  probes()[name] = function;
  return true;
}

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wstring(argv[1]) == L"--probe") {
    auto probe = probes().find(narrow(argv[2]));
    if (probe == probes().end())
      return 99;
    probe->second();
    return 0;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
