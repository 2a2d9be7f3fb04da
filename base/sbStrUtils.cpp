// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbStrUtils.h"

#include "base/sbResConst.h"
#include "base/sbTranslate.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <fmt/printf.h>
#include <langinfo.h>
#include <locale.h>
#include <wctype.h>

namespace {

// A locale object of the user's settings for the given categories, or the
// fallback when the user's locale is not installed. Built once; never freed,
// as the process keeps using it to its end.
locale_t userLocale(int categoryMask, const char* fallback) {
    locale_t locale = ::newlocale(categoryMask, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) {
        locale = ::newlocale(categoryMask, fallback, static_cast<locale_t>(nullptr));
    }
    return locale;
}

std::u32string decodeUtf8(std::string_view text) {
    std::u32string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80           ? 1
                        : (lead >> 5) == 0x6  ? 2
                        : (lead >> 4) == 0xE  ? 3
                        : (lead >> 3) == 0x1E ? 4
                                              : 0;
        if (length == 0 || i + length > text.size()) {
            // Not UTF-8: keep the byte as it is, so unequal bytes stay unequal.
            result += static_cast<char32_t>(0xDC00 + lead);
            ++i;
            continue;
        }
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        bool valid = true;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = valid && (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (!valid) {
            result += static_cast<char32_t>(0xDC00 + lead);
            ++i;
            continue;
        }
        result += code;
        i += length;
    }
    return result;
}

} // namespace

std::string BoolToYesNoStr(bool value, bool fromResources) {
    if (fromResources) {
        return LoadResString(value ? rsYes : rsNo);
    }
    return value ? SbTranslate("Messages", "Yes") : SbTranslate("Messages", "No");
}

std::string UserDecimalSeparator() {
    static const std::string separator = [] {
        const locale_t locale = userLocale(LC_NUMERIC_MASK, "C");
        if (locale == static_cast<locale_t>(nullptr)) {
            return std::string(".");
        }
        const char* radix = ::nl_langinfo_l(RADIXCHAR, locale);
        std::string text(radix != nullptr && *radix != '\0' ? radix : ".");
        ::freelocale(locale);
        return text;
    }();
    return separator;
}

std::string SizeToMBStr(bool noUnit, int64_t bytes) {
    return SizeToMBStr(noUnit, bytes, UserDecimalSeparator());
}

std::string SizeToMBStr(bool noUnit, int64_t bytes, std::string_view decimalSeparator) {
    // The absolute value taken as a float, so the most negative count has one too.
    const double megabytes = std::fabs(static_cast<double>(bytes)) / 1048576.0;
    std::string text = fmt::sprintf("%.2f", megabytes);
    // Six significant digits at most: a value whose integer part needs more
    // is written in exponent notation instead.
    if (text.find('.') > 6) {
        text = fmt::sprintf("%.6G", megabytes);
    }
    if (const size_t dot = text.find('.'); dot != std::string::npos) {
        text.replace(dot, 1, decimalSeparator);
    }
    if (!noUnit) {
        text += " MB";
    }
    return text;
}

std::string IntToZeroPaddedStr(int64_t value, uint8_t width) {
    const std::string padded = std::string(width, '0') + std::to_string(value);
    return padded.substr(padded.size() - width);
}

std::string StringOfCharCount(char c, int count) {
    return count > 0 ? std::string(static_cast<size_t>(count), c) : std::string();
}

std::string ReplaceAllStr(std::string_view source, std::string_view pattern,
                          std::string_view replacement) {
    if (pattern.empty()) {
        return std::string(source);
    }
    std::string result;
    size_t from = 0;
    for (;;) {
        const size_t found = source.find(pattern, from);
        if (found == std::string_view::npos) {
            result.append(source.substr(from));
            return result;
        }
        result.append(source.substr(from, found - from));
        result.append(replacement);
        from = found + pattern.size();
    }
}

bool SameTextNoCase(std::string_view a, std::string_view b) {
    static const locale_t locale = userLocale(LC_CTYPE_MASK, "C.UTF-8");
    const std::u32string left = decodeUtf8(a);
    const std::u32string right = decodeUtf8(b);
    if (left.size() != right.size()) {
        return false;
    }
    for (size_t i = 0; i < left.size(); ++i) {
        if (left[i] == right[i]) {
            continue;
        }
        if (locale == static_cast<locale_t>(nullptr)) {
            return false;
        }
        const auto upperLeft = ::towupper_l(static_cast<wint_t>(left[i]), locale);
        const auto upperRight = ::towupper_l(static_cast<wint_t>(right[i]), locale);
        if (upperLeft != upperRight) {
            return false;
        }
    }
    return true;
}

std::string BufferToStr(const char* buffer, size_t size) {
    if (buffer == nullptr) {
        return {};
    }
    size_t length = 0;
    while (length < size && buffer[length] != '\0') {
        ++length;
    }
    return std::string(buffer, length);
}

std::string ExtractFileBaseName(std::string_view path) {
    const size_t slash = path.rfind('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (const size_t dot = name.rfind('.'); dot != std::string_view::npos) {
        name = name.substr(0, dot);
    }
    return std::string(name);
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string result;
    result.reserve(text.size());
    for (char32_t code : decodeUtf8(text)) {
        if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD; // a byte that was not UTF-8
        }
        if (code > 0x10FFFF) {
            code = 0xFFFD;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            result += static_cast<char16_t>(0xD800 + (code >> 10));
            result += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            result += static_cast<char16_t>(code);
        }
    }
    return result;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            result += static_cast<char>(code);
        } else if (code < 0x800) {
            result += static_cast<char>(0xC0 | (code >> 6));
            result += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            result += static_cast<char>(0xE0 | (code >> 12));
            result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            result += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            result += static_cast<char>(0xF0 | (code >> 18));
            result += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            result += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return result;
}
