// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbTranslate.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string_view>
#include <unordered_map>

namespace {

// The first line of a catalog; the records follow, each three NUL-ended
// strings: context, English text, translation.
constexpr std::string_view kCatalogMagic = "TAVRIN-CATALOG 1\n";

struct TTranslations {
    std::unordered_map<std::string, std::string> Catalog;
    TsbTranslateHook Hook;
};

TTranslations& translations() {
    static TTranslations instance;
    return instance;
}

// gettext's key: context, EOT, text.
std::string catalogKey(std::string_view context, std::string_view text) {
    std::string key(context);
    key += '\x04';
    key += text;
    return key;
}

// "de_AT.UTF-8@euro" -> "de_AT", "de"; "C", "POSIX" -> nothing.
void addLanguage(std::vector<std::string>& languages, std::string_view locale) {
    const std::string_view name = locale.substr(0, locale.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX") {
        return;
    }
    const auto add = [&languages](std::string_view language) {
        for (const std::string& known : languages) {
            if (known == language) {
                return;
            }
        }
        languages.emplace_back(language);
    };
    add(name);
    const std::size_t underscore = name.find('_');
    if (underscore != std::string_view::npos && underscore > 0) {
        add(name.substr(0, underscore));
    }
}

} // namespace

std::string SbTranslate(const char* context, const char* text) {
    const TTranslations& all = translations();
    if (all.Hook) {
        return all.Hook(context, text);
    }
    if (!all.Catalog.empty()) {
        const auto found = all.Catalog.find(catalogKey(context, text));
        if (found != all.Catalog.end()) {
            return found->second;
        }
    }
    return text;
}

std::vector<std::string> UserLanguages() {
    std::vector<std::string> languages;
    const char* locale = nullptr;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    }
    if (const char* list = std::getenv("LANGUAGE"); list != nullptr) {
        std::string_view rest(list);
        while (!rest.empty()) {
            const std::size_t colon = rest.find(':');
            addLanguage(languages, rest.substr(0, colon));
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
    }
    if (locale != nullptr) {
        addLanguage(languages, locale);
    }
    return languages;
}

bool SetTranslationCatalog(const std::string& bytes) {
    TTranslations& all = translations();
    all.Hook = nullptr;
    all.Catalog.clear();
    if (bytes.compare(0, kCatalogMagic.size(), kCatalogMagic) != 0) {
        return false;
    }
    std::unordered_map<std::string, std::string> catalog;
    std::size_t at = kCatalogMagic.size();
    const auto next = [&bytes, &at](std::string_view& field) {
        const std::size_t end = bytes.find('\0', at);
        if (end == std::string::npos) {
            return false;
        }
        field = std::string_view(bytes).substr(at, end - at);
        at = end + 1;
        return true;
    };
    while (at < bytes.size()) {
        std::string_view context, text, translation;
        if (!next(context) || !next(text) || !next(translation)) {
            return false;
        }
        catalog.emplace(catalogKey(context, text), translation);
    }
    all.Catalog = std::move(catalog);
    return true;
}

std::string LoadTranslationCatalog(const std::string& folder, const std::string& stem) {
    ClearTranslations();
    for (const std::string& language : UserLanguages()) {
        std::ifstream file(folder + "/" + stem + "_" + language + ".cat", std::ios::binary);
        if (!file) {
            continue;
        }
        const std::string bytes{std::istreambuf_iterator<char>(file),
                                std::istreambuf_iterator<char>()};
        if (SetTranslationCatalog(bytes)) {
            return language;
        }
    }
    return {};
}

void SetTranslateHook(TsbTranslateHook hook) {
    TTranslations& all = translations();
    all.Catalog.clear();
    all.Hook = std::move(hook);
}

void ClearTranslations() {
    TTranslations& all = translations();
    all.Catalog.clear();
    all.Hook = nullptr;
}
