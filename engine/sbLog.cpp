// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/sbLog.h"

#include "base/sbError.h"

#include <fmt/printf.h>

void TsbLogItem::Assign(const TsbLogItem& source) {
    LogMessage = source.LogMessage;
    LogTime = source.LogTime;
    ItemType = source.ItemType;
    PageOwner = source.PageOwner;
}

TsbLogItem& TsbLog::Items(int index) {
    return const_cast<TsbLogItem&>(static_cast<const TsbLog&>(*this).Items(index));
}

const TsbLogItem& TsbLog::Items(int index) const {
    if (index < 0 || index >= Count()) {
        throw EsbError(fmt::sprintf("List index out of bounds (%d)", index));
    }
    return *m_items[static_cast<size_t>(index)];
}

TsbLogItem& TsbLog::Add() {
    m_items.push_back(std::make_unique<TsbLogItem>());
    return *m_items.back();
}

void TsbLog::Delete(int index) {
    Items(index); // range check
    m_items.erase(m_items.begin() + index);
}

void TsbLog::RemoveFromPage(int32_t key) {
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i]->PageOwner == key) {
            m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(i), m_items.end());
            return;
        }
    }
}
