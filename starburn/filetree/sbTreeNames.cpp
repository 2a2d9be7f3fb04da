// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/filetree/sbTreeNames.h"

#include <algorithm>

namespace starburn::filetree {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes UTF-8; an invalid byte yields kInvalid and is skipped alone.
std::vector<char32_t> decode(std::string_view text) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        size_t len = 0;
        char32_t cp = 0;
        if (b < 0x80) {
            len = 1;
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            len = 2;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4;
            cp = b & 0x07;
        }
        bool ok = len > 0 && i + len <= text.size();
        for (size_t k = 1; ok && k < len; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
            ok = false;
        }
        if (!ok) {
            out.push_back(kInvalid);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += len;
    }
    return out;
}

void encode(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

size_t units(char32_t cp) {
    return cp >= 0x10000 ? 2 : 1;
}

char isoChar(char32_t cp) {
    if (cp >= 'a' && cp <= 'z') {
        return static_cast<char>(cp - 'a' + 'A');
    }
    if ((cp >= 'A' && cp <= 'Z') || (cp >= '0' && cp <= '9') || cp == '_') {
        return static_cast<char>(cp);
    }
    return '_';
}

std::string isoChars(const std::vector<char32_t>& cps, size_t from, size_t to) {
    std::string out;
    for (size_t i = from; i < to; ++i) {
        out += isoChar(cps[i]);
    }
    return out;
}

// Splits at the extension's dot: a dot first or last in the name is no separator.
size_t extensionDot(const std::vector<char32_t>& cps) {
    for (size_t i = cps.size(); i-- > 0;) {
        if (cps[i] == '.') {
            return (i == 0 || i + 1 == cps.size()) ? std::u32string::npos : i;
        }
    }
    return std::u32string::npos;
}

} // namespace

bool isAcceptableName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::string jolietName(std::string_view name) {
    std::vector<char32_t> cps = decode(name);
    for (auto& cp : cps) {
        if (cp == kInvalid || cp < 0x20 || cp == '*' || cp == '/' || cp == ':' || cp == ';' ||
            cp == '?' || cp == '\\') {
            cp = '_';
        }
    }
    size_t total = 0;
    for (char32_t cp : cps) {
        total += units(cp);
    }
    if (total > kJolietMaxUnits) {
        const size_t dot = extensionDot(cps);
        std::vector<char32_t> ext;
        size_t extUnits = 0;
        if (dot != std::u32string::npos) {
            ext.assign(cps.begin() + static_cast<std::ptrdiff_t>(dot), cps.end());
            for (char32_t cp : ext) {
                extUnits += units(cp);
            }
            if (extUnits > 10) {
                ext.clear();
                extUnits = 0;
            }
        }
        std::vector<char32_t> kept;
        size_t used = 0;
        for (char32_t cp : cps) {
            if (used + units(cp) > kJolietMaxUnits - extUnits) {
                break;
            }
            kept.push_back(cp);
            used += units(cp);
        }
        kept.insert(kept.end(), ext.begin(), ext.end());
        cps = std::move(kept);
    }
    std::string out;
    for (char32_t cp : cps) {
        encode(out, cp);
    }
    return out;
}

bool jolietEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

std::string isoName(std::string_view name, bool directory) {
    const std::vector<char32_t> cps = decode(name);
    if (directory) {
        std::string base = isoChars(cps, 0, cps.size());
        base.resize(std::min<size_t>(base.size(), 8));
        return base.empty() ? "_" : base;
    }
    const size_t dot = extensionDot(cps);
    std::string base = isoChars(cps, 0, dot == std::u32string::npos ? cps.size() : dot);
    std::string ext = dot == std::u32string::npos ? "" : isoChars(cps, dot + 1, cps.size());
    base.resize(std::min<size_t>(base.size(), 8));
    ext.resize(std::min<size_t>(ext.size(), 3));
    if (base.empty()) {
        base.push_back('_');
    }
    if (!ext.empty()) {
        base.push_back('.');
        base.append(ext);
    }
    return base;
}

std::string isoNameFromReply(std::string_view reply, bool directory) {
    if (const size_t semicolon = reply.find(';'); semicolon != std::string_view::npos) {
        reply = reply.substr(0, semicolon);
    }
    while (!directory && !reply.empty() && reply.back() == '.') {
        reply.remove_suffix(1);
    }
    // The reply is single-byte text: every byte counts as one character.
    std::vector<char32_t> cps(reply.begin(), reply.end());
    for (auto& cp : cps) {
        cp = static_cast<unsigned char>(cp);
    }
    if (cps.empty()) {
        return {};
    }
    if (directory) {
        std::string out = isoChars(cps, 0, cps.size());
        out.resize(std::min(out.size(), kIsoMaxChars));
        return out;
    }
    const size_t dot = extensionDot(cps);
    std::string base = isoChars(cps, 0, dot == std::u32string::npos ? cps.size() : dot);
    std::string ext = dot == std::u32string::npos ? "" : isoChars(cps, dot + 1, cps.size());
    // Name and extension share 30 characters; a long extension gives way first.
    if (base.size() + ext.size() > kIsoMaxChars - 1) {
        ext.resize(std::min<size_t>(ext.size(), 3));
        base.resize(std::min(base.size(), kIsoMaxChars - 1 - ext.size()));
    }
    if (base.empty()) {
        return {};
    }
    return ext.empty() ? base : base + "." + ext;
}

std::string isoRecordName(const std::string& iso, bool directory) {
    if (directory) {
        return iso;
    }
    return iso.find('.') == std::string::npos ? iso + ".;1" : iso + ";1";
}

std::string isoNumberedName(const std::string& iso, bool directory, unsigned number) {
    const std::string digits = std::to_string(number);
    const size_t dot = directory ? std::string::npos : iso.find('.');
    std::string base = iso.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : iso.substr(dot);
    const size_t keep = digits.size() < 8 ? 8 - digits.size() : 1;
    base.resize(std::min(base.size(), keep));
    return base + digits + ext;
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    for (char32_t cp : decode(text)) {
        if (cp == kInvalid) {
            cp = kReplacement;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        encode(out, cp);
    }
    return out;
}

} // namespace starburn::filetree
