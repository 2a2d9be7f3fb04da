// SPDX-License-Identifier: GPL-2.0-or-later
// Text helpers without state. Strings are UTF-8 unless a function says
// otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// "Yes" or "No": from the message table (15131/15132) when FromResources is
// set, else the fixed texts.
std::string BoolToYesNoStr(bool value, bool fromResources);

// The absolute value of Bytes in megabytes (1048576 bytes), fixed notation
// with two decimals and the decimal separator of the user's locale; a value
// of a million megabytes or more is written in exponent notation with six
// significant digits. " MB" follows unless NoUnit is set.
std::string SizeToMBStr(bool noUnit, int64_t bytes);
// The same with a given decimal separator.
std::string SizeToMBStr(bool noUnit, int64_t bytes, std::string_view decimalSeparator);
// The decimal separator of the user's locale (LC_ALL, LC_NUMERIC, LANG), "."
// when the locale is unknown or not installed.
std::string UserDecimalSeparator();

// The decimal text of Value padded on the left with "0" to Width; always the
// last Width characters, so a longer number loses its leading digits
// (123 with width 2 gives "23").
std::string IntToZeroPaddedStr(int64_t value, uint8_t width);

// Count copies of C; empty when Count is 0 or negative.
std::string StringOfCharCount(char c, int count);

// Every occurrence of Pattern replaced, scanning from the left; replaced text
// is never scanned again ("aaa", "aa", "b" gives "ba"). An empty pattern
// leaves Source unchanged.
std::string ReplaceAllStr(std::string_view source, std::string_view pattern,
                          std::string_view replacement);

// Equal after conversion to upper case by the user's locale.
bool SameTextNoCase(std::string_view a, std::string_view b);

// The characters of a buffer of Size characters up to the first zero, at
// most Size of them. A null buffer gives an empty text.
std::string BufferToStr(const char* buffer, size_t size);

// The file name of Path without its folder and its extension (the part from
// the last dot of the name): "/opt/a.b.exe" gives "a.b".
std::string ExtractFileBaseName(std::string_view path);

// Conversions between UTF-8 and UTF-16. Bytes that are not UTF-8 become
// U+FFFD; unpaired surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
