#include "packer/messages/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

TEST(TextEncoding, RefusesUtf8ThatIsNoText) {
  for (const char* invalid : {"\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80",
                              "\xff", "a\x80", "\xe2\x82"}) {
    EXPECT_FALSE(utf8ToUtf16(invalid)) << printableBytes(invalid);
  }
  EXPECT_EQ(printableBytes("a\xff"), "a\\xFF");
}

TEST(TextEncoding, KeepsEveryCodePointBothWays) {
  const std::string text = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf";
  const std::u16string units = u"a\u00e9\u20ac\U0001F600\U0010FFFF";
  EXPECT_EQ(utf8ToUtf16(text), units);
  EXPECT_EQ(utf16ToUtf8(units), text);
  EXPECT_TRUE(validUtf16(units));
}

TEST(TextEncoding, ShowsALoneSurrogateAsTheReplacementCharacter) {
  for (const std::u16string& lone :
       {std::u16string(u"x") + char16_t{0xD83D}, std::u16string(1, char16_t{0xDE00}) + u"x"}) {
    EXPECT_FALSE(validUtf16(lone));
    EXPECT_NE(utf16ToUtf8(lone).find("\xef\xbf\xbd"), std::string::npos);
  }
}

// The longest name an entry may have, of characters that take four UTF-8 bytes each.
TEST(TextEncoding, ConvertsTheLongestNameWhole) {
  std::string text;
  std::u16string units;
  for (int i = 0; i < 511; ++i) {
    text += "\xf0\x9f\x98\x80";
    units += u"\U0001F600";
  }
  text += "x";
  units += u"x";
  ASSERT_EQ(units.size(), 1023u);
  EXPECT_EQ(utf8ToUtf16(text), units);
  EXPECT_EQ(utf16ToUtf8(units), text);
}
