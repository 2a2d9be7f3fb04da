// SPDX-License-Identifier: GPL-2.0-or-later
// The write speeds a recorder accepts for the inserted disc.
//
// The drive is not asked for a list: it is set to its fastest speeds, then
// asked for each speed of a fixed CD or DVD table in turn, and the write speed
// it reports back after each request is recorded, one entry per distinct
// speed factor, in table order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TsbBurner;

class TsbDiscSpeedItem {
public:
    // The reported write speed divided by the disc family's 1x unit, rounded down.
    int32_t SpeedInPoint = 1;
    // The reported write speed in KB/s.
    int32_t SpeedInSize = 176;
    // "8.0x (1411 KB/sec)"; set by FormatTexts.
    std::string StrSpeed;
};

class TsbDiscSpeedList {
public:
    TsbDiscSpeedList() = default;
    virtual ~TsbDiscSpeedList() = default;
    TsbDiscSpeedList(const TsbDiscSpeedList&) = delete;
    TsbDiscSpeedList& operator=(const TsbDiscSpeedList&) = delete;

    // From the drive's answer during Fill.
    uint32_t MaxReadSpeed = 0;
    uint32_t MaxWriteSpeed = 0;

    // Rebuilds the list for the recorder the burner has open. Raises EsbError
    // when the drive's fastest speeds cannot be set or read (the list is then empty).
    virtual void Fill(TsbBurner& Burner);
    // The first item of that factor, or null.
    TsbDiscSpeedItem* FindBySpeedInPoint(int32_t Factor) const;
    void FormatTexts();

    TsbDiscSpeedItem* Items(int Index) const {
        return items_.at(static_cast<std::size_t>(Index)).get();
    }
    TsbDiscSpeedItem* Add();
    int Count() const { return static_cast<int>(items_.size()); }
    void Clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<TsbDiscSpeedItem>> items_;
};

// The 1x unit in KB/s and the requested write speeds of the two disc families.
struct TsbSpeedTable {
    uint32_t Unit;
    std::vector<uint32_t> Speeds;
};
const TsbSpeedTable& SpeedTableFor(uint8_t DiscType);

// The text of the error raised when no speed can be chosen: the recorder
// reported none for the disc (the options sheet and tavrin-burn).
extern const char* const NoSpeedSelectedText;
