#include "paths/published_values.h"

#include <gtest/gtest.h>

#include <string>

TEST(RandomTag, ASeedOfZeroIsUsedAsOne) {
  EXPECT_EQ(randomTagSeed(0, 0, 0), 1u);
  // Both halves of counter and address enter, so equal halves cancel out.
  EXPECT_EQ(randomTagSeed(0x1234567812345678ull, 0, 0), 1u);
  EXPECT_EQ(randomTagSeed(0x0000000100000002ull, 4, 0x0000000800000010ull), 1u ^ 2 ^ 4 ^ 8 ^ 16);
}

TEST(RandomTag, EncodesEightXorshiftBytesAsElevenUrlSafeCharacters) {
  // Seed 1 gives the bytes 21 01 C5 4F D1 D0 1A B2.
  wchar_t tag[kPublishedValueUnits];
  encodeRandomTag(1, tag);
  EXPECT_EQ(std::wstring(tag), L"IQHFT9HQGrI");

  // Every seed gives eleven characters of the URL-safe alphabet, the last with two zero bits.
  const std::wstring alphabet = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  for (uint32_t seed : {2u, 0xFFFFFFFFu, 0x80000000u, 123456789u}) {
    encodeRandomTag(seed, tag);
    std::wstring text(tag);
    ASSERT_EQ(text.size(), kRandomTagChars);
    EXPECT_EQ(text.find_first_not_of(alphabet), std::wstring::npos) << seed;
    EXPECT_EQ(alphabet.find(text.back()) % 4, 0u) << seed;
  }
}

TEST(PublishedTimes, FormatMicrosecondsWithLeadingZerosAndTheCountInDecimal) {
  wchar_t text[kPublishedValueUnits];
  // 2026-12-07 12:00:00.000007 UTC in 100-ns units since 1601, plus 3 units below a microsecond.
  const int64_t fileTime = 134411184000000000ll + 70 + 3;
  formatTimeUs(fileTime, text);
  EXPECT_EQ(std::wstring(text), L"000007");
  formatTimeUs(fileTime - 73 + 9999999, text);
  EXPECT_EQ(std::wstring(text), L"999999");
  formatStartTime(fileTime, text);
  EXPECT_EQ(std::wstring(text), L"134411184000000073");
  formatStartTime(5, text);
  EXPECT_EQ(std::wstring(text), L"5");
}
