#include "paths/environment.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/support/probe.h"
#include "tests/support/process.h"
#include "tests/support/system_seams.h"

namespace {

constexpr char kName[] = "TARNIC_TEST_VALUE";

std::wstring valueOrNull(const wchar_t* value) {
  return value ? value : L"<null>";
}

}  // namespace

TARNIC_PROBE(widen_forty_character_name) {
  readEnvironment(std::string(40, 'A').c_str());
}
TARNIC_PROBE(widen_into_full_buffer) {
  wchar_t wide[4];
  widenAsciiName("abcd", wide, 4);
}

TEST(Environment, MissingAndEmptyVariablesReadAsNull) {
  removeEnvironment(kName);
  EXPECT_EQ(readEnvironment(kName), nullptr);
  // Removing a variable that is not set changes nothing.
  removeEnvironment(kName);
  EXPECT_EQ(readEnvironment(kName), nullptr);

  ASSERT_TRUE(SetEnvironmentVariableW(L"TARNIC_TEST_VALUE", L""));
  EXPECT_EQ(readEnvironment(kName), nullptr);
}

TEST(Environment, WritesReadsAndRemovesByAsciiName) {
  ASSERT_TRUE(writeEnvironment(kName, L"C:\\Some dir\\\u00e9\U0001F600"));
  EXPECT_EQ(valueOrNull(readEnvironment(kName)), L"C:\\Some dir\\\u00e9\U0001F600");
  wchar_t* first = readEnvironment(kName);
  wchar_t* second = readEnvironment(kName);
  EXPECT_NE(first, second) << "each read is a copy of its own";

  ASSERT_TRUE(removeEnvironment(kName));
  EXPECT_EQ(readEnvironment(kName), nullptr);
}

TEST(Environment, ReadsA32767UnitValueInFullAndALongerOneAsNull) {
  // Wine keeps at most 32766 units of a value; Windows keeps 32767.
  std::wstring longest(32767, L'v');
  overrideEnvironmentValue(L"TARNIC_TEST_VALUE", longest);
  const wchar_t* value = readEnvironment(kName);
  ASSERT_NE(value, nullptr);
  EXPECT_TRUE(value == longest);

  overrideEnvironmentValue(L"TARNIC_TEST_VALUE", longest + L"v");
  EXPECT_EQ(readEnvironment(kName), nullptr);
  resetEnvironmentValue();
}

TEST(Environment, UsesA39CharacterNameAndEndsAbnormallyAt40) {
  std::string name39 = "TARNIC_" + std::string(32, 'N');
  ASSERT_EQ(name39.size(), 39u);
  ASSERT_TRUE(writeEnvironment(name39.c_str(), L"v"));
  EXPECT_EQ(valueOrNull(readEnvironment(name39.c_str())), L"v");
  removeEnvironment(name39.c_str());

  ProcessResult r = runProbe("widen_forty_character_name");
  EXPECT_EQ(r.exitCode, kFastFailStatus);
  EXPECT_EQ(r.out + r.err, "");
}

TEST(WidenAsciiName, MapsEachByteToTheUnitOfTheSameValue) {
  wchar_t wide[kEnvironmentNameUnits];
  widenAsciiName("A_\x7f\x80\xe9\xff", wide, kEnvironmentNameUnits);
  EXPECT_EQ(std::wstring(wide), L"A_\x7f\x80\xe9\xff");
  widenAsciiName("", wide, kEnvironmentNameUnits);
  EXPECT_EQ(std::wstring(wide), L"");
  // Three characters and the terminator exactly fill four units.
  widenAsciiName("abc", wide, 4);
  EXPECT_EQ(std::wstring(wide), L"abc");

  EXPECT_EQ(runProbe("widen_into_full_buffer").exitCode, kFastFailStatus);
}
