// SPDX-License-Identifier: GPL-2.0-or-later
// Actions: what the final sheet runs, one after another, on the burner.
//
// The wizard's pages collect actions in a TsbActionList; the final sheet sets
// the list's Burner and runs each item's action. A staged action prepares the
// recorder and the disc in up to eleven stages before anything is written; the
// burn-image action then writes the chosen image and finishes the disc.
// Everything here runs on the main thread, except the messages that the burn
// thread passes on through the action while it writes.
#pragma once

#include "base/sbTypes.h"
#include "engine/sbBurner.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The status text of the read-back, as the burning sheet sees it in the log.
std::string VerifyingDiscText();

class TsbAction;
class TsbActionList;

// One scheduled action: a reference (not owned) and the sheet that added it.
class TsbActionItem {
public:
    explicit TsbActionItem(TsbActionList* Collection) : collection_(Collection) {}
    ~TsbActionItem() { Action = nullptr; }

    TsbAction* Action = nullptr;
    int32_t PageIndex = 0;

    void Assign(const TsbActionItem& Source);
    TsbActionList* Collection() const { return collection_; }

private:
    TsbActionList* collection_;
};

class TsbActionList {
public:
    TsbActionList() = default;
    virtual ~TsbActionList() = default;
    TsbActionList(const TsbActionList&) = delete;
    TsbActionList& operator=(const TsbActionList&) = delete;

    // The burner the actions work on; set by the final sheet for a run.
    TsbBurner* Burner = nullptr;
    // The handler BindMessages hands to every action.
    TsbMessageEvent OnMessage;
    // Whether stage announcements and detail lines reach the sheet.
    bool ReportDetails = true;
    // The source chosen in the wizard (SourceIsFile, SourceFileName).
    TsbActionOptions Options;

    TsbActionItem* Items(int Index) const {
        return items_.at(static_cast<std::size_t>(Index)).get();
    }
    TsbActionItem* Add();
    int Count() const { return static_cast<int>(items_.size()); }
    void Delete(int Index);
    void Clear() { items_.clear(); }
    // Removes the first item of the sheet PageIndex and every item after it.
    void RemoveFromPage(int32_t PageIndex);
    // Hands the list's OnMessage to every action of the list.
    virtual void BindMessages();

private:
    std::vector<std::unique_ptr<TsbActionItem>> items_;
};

class TsbAction {
public:
    TsbAction() = default;
    virtual ~TsbAction() = default;
    TsbAction(const TsbAction&) = delete;
    TsbAction& operator=(const TsbAction&) = delete;

    TsbMessageEvent OnMessage;
    // Never cleared by the engine; the final sheet counts a run as failed when false.
    bool Succeeded = true;

    // Base: raises "Invalid action" without an item, takes the item's list and
    // reports progress 0. Derived actions call it first.
    virtual void Execute(TsbActionItem* Item);
    // Raises OnMessage with the action as Sender.
    virtual void Report(const std::string& Text, TsbLogItemType Kind);
    // What the staged action binds to the burner's OnMessage, so the burn
    // thread's messages reach the sheet through the action.
    virtual void MessageForwarder(void* Sender, const std::string& Text, TsbLogItemType Kind);

    // Releases the tray lock and ejects the disc; failures are reported, never raised.
    void EjectDisc();
    // Closes the session after a Track-At-Once write. A failure fails the
    // burn: Succeeded and the burner's WriteStarted are cleared and EsbError
    // is raised with a text that names the state the disc is left in.
    void CloseSession();
    // Reads the written image back on a worker thread and compares it with
    // the source file, reporting every finding. False when the disc is not
    // right or the verification was cancelled (Succeeded is then false too).
    bool VerifyDisc(const std::string& ImagePath);

    TsbActionList* ActionList() const { return actionList_; }

protected:
    TsbBurner& Burner() const;

private:
    TsbActionList* actionList_ = nullptr;
};

// The stage bits of a staged action.
enum TsbStage : uint16_t {
    stCache = 1u << 0,
    stUnitReady = 1u << 1,
    stWriteModes = 1u << 2,
    stBUPState = 1u << 3,
    stEnableBUP = 1u << 4,
    stSetSpeeds = 1u << 5,
    stReadSpeeds = 1u << 6,
    stTrackInformation = 1u << 7,
    stDiscInformation = 1u << 8,
    stBuildImage = 1u << 9,
    stPowerCalibration = 1u << 10,
};

constexpr uint16_t sbAllStages = 2047;

class TsbStagedAction : public TsbAction {
public:
    TsbStagedAction() = default;

    // Every stage but building an image.
    uint16_t Stages = 1535;

    void Execute(TsbActionItem* Item) override;

protected:
    // The stages' common forms: a message by number, and a detail line
    // (logged, and reported when the list reports details).
    void Announce(int Id);
    void Detail(const std::string& Text);

private:
    // One run of the stages (engine/sbStagedAction.cpp).
    struct TStageRun;
    bool reportDetails() const;
};

// Runs every stage, writes the chosen image file and finishes the disc.
class TsbBurnAtOnceToCDDVDAction : public TsbStagedAction {
public:
    TsbBurnAtOnceToCDDVDAction() { Stages = sbAllStages; }

    // For writes from image files: take the list's SourceFileName as the only source.
    bool UseSourceFile = true;
    // Eject the disc once it is written (the wizard always does; the
    // command-line program's --no-eject leaves it in the drive).
    bool EjectWhenDone = true;

    void Execute(TsbActionItem* Item) override;
};
