// SPDX-License-Identifier: GPL-2.0-or-later
#include "forms/HelpLinkFuncs.h"

#include <array>

namespace {

struct THelpLinkRow {
    const char* Title;
    // In THelpLinkKind order.
    std::array<const char*, 6> Links;
};

// Two sites. Each keeps one home page and one support address for all its
// products; the other pages are the product's own.
#define TAVRIN_SITE "https://tavrin.example.org/"
#define TAVRIN_SUPPORT "https://tavrin.example.org/support/"
#define KORVATH_SITE "https://korvath.example.net/"
#define KORVATH_SUPPORT "mailto:support@korvath.example.net"

constexpr std::array<THelpLinkRow, 6> HelpLinks{{
    {"Tavrin",
     {TAVRIN_SITE "tavrin/help/", TAVRIN_SITE "tavrin/quick-start/", TAVRIN_SITE,
      TAVRIN_SITE "tools/?from=tavrin", TAVRIN_SITE "tavrin/updates/", TAVRIN_SUPPORT}},
    {"Quennet",
     {TAVRIN_SITE "quennet/help/", TAVRIN_SITE "quennet/quick-start/", TAVRIN_SITE,
      TAVRIN_SITE "tools/?from=quennet", TAVRIN_SITE "quennet/updates/", TAVRIN_SUPPORT}},
    {"Dorvash",
     {TAVRIN_SITE "dorvash/help/", TAVRIN_SITE "dorvash/quick-start/", TAVRIN_SITE,
      TAVRIN_SITE "tools/?from=dorvash", TAVRIN_SITE "dorvash/updates/", TAVRIN_SUPPORT}},
    {"Korvath ISO Burner",
     {KORVATH_SITE "iso-burner/manual/", KORVATH_SITE "iso-burner/videos/", KORVATH_SITE,
      KORVATH_SITE "free-tools/?ref=iso-burner", KORVATH_SITE "iso-burner/latest/",
      KORVATH_SUPPORT}},
    {"Korvath Disc Copier",
     {KORVATH_SITE "disc-copier/manual/", KORVATH_SITE "disc-copier/videos/", KORVATH_SITE,
      KORVATH_SITE "free-tools/?ref=disc-copier", KORVATH_SITE "disc-copier/latest/",
      KORVATH_SUPPORT}},
    {"Velmar Image Writer",
     {KORVATH_SITE "velmar/manual/", KORVATH_SITE "velmar/videos/", KORVATH_SITE,
      KORVATH_SITE "free-tools/?ref=velmar", KORVATH_SITE "velmar/latest/", KORVATH_SUPPORT}},
}};

} // namespace

QString GetHelpLink(THelpLinkKind kind, const QString& title) {
    for (const auto& row : HelpLinks) {
        if (title == QLatin1String(row.Title)) {
            return QString::fromLatin1(row.Links[static_cast<size_t>(kind)]);
        }
    }
    return {};
}

QString GetHelpContentLink(const QString& title) {
    return GetHelpLink(THelpLinkKind::hlkHelpContent, title);
}
QString GetVideoDemosLink(const QString& title) {
    return GetHelpLink(THelpLinkKind::hlkVideoDemos, title);
}
QString GetHomePageLink(const QString& title) {
    return GetHelpLink(THelpLinkKind::hlkHomePage, title);
}
QString GetMoreToolsLink(const QString& title) {
    return GetHelpLink(THelpLinkKind::hlkMoreTools, title);
}
QString GetUpdatesLink(const QString& title) {
    return GetHelpLink(THelpLinkKind::hlkUpdates, title);
}
QString GetSupportLink(const QString& title) {
    return GetHelpLink(THelpLinkKind::hlkSupport, title);
}

int HelpLinkTitleCount() {
    return static_cast<int>(HelpLinks.size());
}

QString HelpLinkTitle(int row) {
    if (row < 0 || row >= HelpLinkTitleCount()) {
        return {};
    }
    return QString::fromLatin1(HelpLinks[static_cast<size_t>(row)].Title);
}
