// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbStrUtils.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

TEST(StrUtilsTest, YesNoTexts) {
    EXPECT_EQ(BoolToYesNoStr(true, false), "Yes");
    EXPECT_EQ(BoolToYesNoStr(false, false), "No");
    EXPECT_EQ(BoolToYesNoStr(true, true), "Yes");
    EXPECT_EQ(BoolToYesNoStr(false, true), "No");
}

TEST(SizeToMBStrTest, TwoDecimalsAndTheUnit) {
    EXPECT_EQ(SizeToMBStr(false, 1572864, "."), "1.50 MB");
    EXPECT_EQ(SizeToMBStr(true, 1572864, "."), "1.50");
    EXPECT_EQ(SizeToMBStr(false, 0, "."), "0.00 MB");
    EXPECT_EQ(SizeToMBStr(false, 1, "."), "0.00 MB");
    EXPECT_EQ(SizeToMBStr(false, 4700000000LL, "."), "4482.27 MB");
}

TEST(SizeToMBStrTest, NegativeCountsGiveTheirAbsoluteValue) {
    EXPECT_EQ(SizeToMBStr(false, -1572864, "."), "1.50 MB");
    EXPECT_EQ(SizeToMBStr(true, -1048576, "."), "1.00");
    // The most negative count has no positive twin in 64 bits.
    EXPECT_EQ(SizeToMBStr(true, LLONG_MIN, "."), "8.79609E+12");
}

TEST(SizeToMBStrTest, AMillionMegabytesOrMoreUseExponentNotation) {
    EXPECT_EQ(SizeToMBStr(true, 999999LL * 1048576, "."), "999999.00");
    EXPECT_EQ(SizeToMBStr(true, 1000000LL * 1048576, "."), "1E+06");
    EXPECT_EQ(SizeToMBStr(false, 1234567LL * 1048576, ","), "1,23457E+06 MB");
}

TEST(SizeToMBStrTest, TheLocaleSeparatorIsUsed) {
    EXPECT_EQ(SizeToMBStr(false, 1572864, ","), "1,50 MB");
    // Tests run in C.UTF-8, whose separator is a dot.
    EXPECT_EQ(UserDecimalSeparator(), ".");
    EXPECT_EQ(SizeToMBStr(false, 1572864), "1.50 MB");
}

TEST(StrUtilsTest, IntToZeroPaddedStrKeepsTheLastWidthCharacters) {
    EXPECT_EQ(IntToZeroPaddedStr(7, 2), "07");
    EXPECT_EQ(IntToZeroPaddedStr(123, 2), "23");
    EXPECT_EQ(IntToZeroPaddedStr(5, 4), "0005");
    EXPECT_EQ(IntToZeroPaddedStr(0, 3), "000");
    EXPECT_EQ(IntToZeroPaddedStr(42, 0), "");
    EXPECT_EQ(IntToZeroPaddedStr(-5, 3), "0-5");
}

TEST(StrUtilsTest, StringOfCharCount) {
    EXPECT_EQ(StringOfCharCount('x', 3), "xxx");
    EXPECT_EQ(StringOfCharCount('x', 0), "");
    EXPECT_EQ(StringOfCharCount('x', -4), "");
}

TEST(StrUtilsTest, ReplaceAllStrNeverRescansReplacedText) {
    EXPECT_EQ(ReplaceAllStr("aaa", "aa", "b"), "ba");
    EXPECT_EQ(ReplaceAllStr("a/b/c", "/", "\\"), "a\\b\\c");
    EXPECT_EQ(ReplaceAllStr("abc", "", "x"), "abc");
    EXPECT_EQ(ReplaceAllStr("xx", "x", "xx"), "xxxx");
    EXPECT_EQ(ReplaceAllStr("abc", "d", "e"), "abc");
    EXPECT_EQ(ReplaceAllStr("", "a", "b"), "");
}

TEST(StrUtilsTest, SameTextNoCase) {
    EXPECT_TRUE(SameTextNoCase("boot.img", "BOOT.IMG"));
    EXPECT_TRUE(SameTextNoCase("\xC3\xA4rger", "\xC3\x84RGER")); // äRGER
    EXPECT_FALSE(SameTextNoCase("boot.img", "boot.im"));
    EXPECT_FALSE(SameTextNoCase("a", "b"));
    EXPECT_TRUE(SameTextNoCase("", ""));
}

TEST(StrUtilsTest, BufferToStrStopsAtTheFirstZeroOrTheSize) {
    const char withZero[] = {'a', 'b', '\0', 'c'};
    EXPECT_EQ(BufferToStr(withZero, sizeof withZero), "ab");
    const char noZero[] = {'a', 'b', 'c'};
    EXPECT_EQ(BufferToStr(noZero, sizeof noZero), "abc");
    EXPECT_EQ(BufferToStr(noZero, 2), "ab");
    EXPECT_EQ(BufferToStr(nullptr, 10), "");
}

TEST(StrUtilsTest, ExtractFileBaseName) {
    EXPECT_EQ(ExtractFileBaseName("/opt/tavrin/a.b.exe"), "a.b");
    EXPECT_EQ(ExtractFileBaseName("/opt/tavrin/tavrin"), "tavrin");
    EXPECT_EQ(ExtractFileBaseName("image.iso"), "image");
    EXPECT_EQ(ExtractFileBaseName("/dir.d/noext"), "noext");
}

TEST(StrUtilsTest, Utf8AndUtf16RoundTrip) {
    const std::string text = "A\xC3\xA4\xE2\x82\xAC\xF0\x9F\x92\xBF"; // A ä € 💿
    const std::u16string wide = Utf8ToUtf16(text);
    EXPECT_EQ(wide, u"A\u00E4\u20AC\U0001F4BF");
    EXPECT_EQ(Utf16ToUtf8(wide), text);
    EXPECT_EQ(Utf8ToUtf16("\xFF"), u"\uFFFD");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

} // namespace
