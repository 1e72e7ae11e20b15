#include "config/text_codec.h"

#include <gtest/gtest.h>

TEST(TextCodec, DecimalLikeAtoi) {
  EXPECT_EQ(ParseDecimal(std::string_view("42")), 42);
  EXPECT_EQ(ParseDecimal(std::string_view("  -17abc")), -17);
  EXPECT_EQ(ParseDecimal(std::string_view("\t+8")), 8);
  EXPECT_EQ(ParseDecimal(std::string_view("")), 0);
  EXPECT_EQ(ParseDecimal(std::string_view("x12")), 0);
  EXPECT_EQ(ParseDecimal(std::string_view("- 5")), 0);
  EXPECT_EQ(ParseDecimal(std::string_view("2147483647")), 2147483647);
  EXPECT_EQ(ParseDecimal(std::string_view("-2147483648")), INT32_MIN);
  // Out of range clamps instead of wrapping.
  EXPECT_EQ(ParseDecimal(std::string_view("2147483648")), INT32_MAX);
  EXPECT_EQ(ParseDecimal(std::string_view("-99999999999999999999999")), INT32_MIN);
  EXPECT_EQ(ParseDecimal(std::u16string_view(u" 56")), 56);
  EXPECT_EQ(ParseDecimal(std::u16string_view(u"７")), 0);  // only ASCII digits count
}

TEST(TextCodec, HexLikePercentX) {
  EXPECT_EQ(ParseHex("ff0000"), 0xFF0000u);
  EXPECT_EQ(ParseHex("25"), 0x25u);
  EXPECT_EQ(ParseHex("  0x1Fz"), 0x1Fu);
  EXPECT_EQ(ParseHex("0xg"), 0u);  // "0" then stop
  EXPECT_EQ(ParseHex(""), 0u);
  EXPECT_EQ(ParseHex("zz"), 0u);
  EXPECT_EQ(ParseHex("ffffffff"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseHex("123456789abcdef"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseHex("-1"), 0xFFFFFFFFu);
  EXPECT_EQ(FormatHex(0xFF0000), "ff0000");
  EXPECT_EQ(FormatHex(0), "0");
  for (std::uint32_t v : {0u, 1u, 0x25u, 0xABCDEFu, 0xFFFFFFFFu}) EXPECT_EQ(ParseHex(FormatHex(v)), v);
}

TEST(TextCodec, Utf8AndUtf16RoundTripAndRepairs) {
  const std::u16string text = u"保存成功！ a\u00e9\U0001F600";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf16ToUtf8(u"宋体"), "\xE5\xAE\x8B\xE4\xBD\x93");
  // Malformed UTF-8: a stray continuation, a cut sequence, an overlong form
  // and an encoded surrogate each become one replacement character.
  EXPECT_EQ(Utf8ToUtf16("a\x80" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("a\xE4\xBF"), u"a\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80x"), u"\uFFFDx");
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD");
  // An unpaired surrogate cannot be written as UTF-8.
  const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
  EXPECT_EQ(Utf16ToUtf8(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}
