// SPDX-License-Identifier: GPL-2.0-or-later
// The wizard log: the lines the pages add while the wizard runs. Each line
// knows the sheet that produced it, so going back removes that sheet's lines.
#pragma once

#include "base/sbTypes.h"
#include "base/sbUtils.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TsbLogItem {
public:
    std::string LogMessage;
    TDateTime LogTime{};
    TsbLogItemType ItemType = litInfo;
    int32_t PageOwner = 0; // index of the sheet that produced the line

    void Assign(const TsbLogItem& source);
};

class TsbLog {
public:
    int Count() const { return static_cast<int>(m_items.size()); }
    // The item at Index; Index must be in 0 .. Count() - 1.
    TsbLogItem& Items(int index);
    const TsbLogItem& Items(int index) const;

    // Appends a line with the defaults and returns it.
    TsbLogItem& Add();
    void Delete(int index);
    void Clear() { m_items.clear(); }

    // Removes the first line owned by sheet Key and every line after it;
    // does nothing when no line belongs to Key.
    void RemoveFromPage(int32_t key);

private:
    // Items keep their address while others are added or removed.
    std::vector<std::unique_ptr<TsbLogItem>> m_items;
};
