// SPDX-License-Identifier: GPL-2.0-or-later
// The web pages behind the help menu and the about box, chosen by the
// product title the program runs under. A title without a row gives empty
// addresses, which open nothing.
#pragma once

#include <QString>

enum class THelpLinkKind {
    hlkHelpContent,
    hlkVideoDemos,
    hlkHomePage,
    hlkMoreTools,
    hlkUpdates,
    hlkSupport
};

// The address of kind for title, compared exactly and with case.
QString GetHelpLink(THelpLinkKind kind, const QString& title);

QString GetHelpContentLink(const QString& title);
QString GetVideoDemosLink(const QString& title);
QString GetHomePageLink(const QString& title);
QString GetMoreToolsLink(const QString& title);
QString GetUpdatesLink(const QString& title);
QString GetSupportLink(const QString& title);

// The titles that have a row, in table order.
int HelpLinkTitleCount();
QString HelpLinkTitle(int row);
