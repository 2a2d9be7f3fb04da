// SPDX-License-Identifier: GPL-2.0-or-later
// What the engine's tests share: the diagnostic log switched on and read back,
// a library session of the test's own (configuration and state folder), the
// front-end doubles (progress window, message boxes, process-messages hook)
// and a recorder of the eventer's events.
#pragma once

#include "base/sbFrontEnd.h"
#include "base/sbTypes.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>

namespace enginetest {

// The folder of this test binary's files (created by the environment).
const std::filesystem::path& TestFolder();

// The messages of the diagnostic log written since the last ClearLog, without
// their time stamps.
std::vector<std::string> LogMessages();
void ClearLog();
// The log's messages from the first one equal to First on (empty when none is).
std::vector<std::string> LogFrom(const std::vector<std::string>& messages,
                                 const std::string& first);
bool LogContains(const std::string& message);

// A file of Size bytes with a recognisable pattern (byte k is a function of k
// and Seed).
void WriteImage(const std::filesystem::path& path, std::uint64_t size, unsigned seed = 1);
std::string ReadFile(const std::filesystem::path& path);

// One message event as the action's sheet would see it.
struct TMessage {
    std::string Text;
    TsbLogItemType Kind;
    bool operator==(const TMessage&) const = default;
};
std::ostream& operator<<(std::ostream& out, const TMessage& message);

// Collects message events from any thread.
class TMessageSink {
public:
    void Add(const std::string& text, TsbLogItemType kind);
    std::vector<TMessage> Messages() const;
    std::vector<std::string> Texts() const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<TMessage> messages_;
};

// Records the eventer's progress, buffer and cancel-enabled events while it lives.
class TEventRecorder {
public:
    TEventRecorder();
    ~TEventRecorder();
    std::vector<int32_t> Progress() const;
    std::vector<int32_t> BufferStatus() const;
    std::vector<bool> CancelEnabled() const;
    int ImageBuildStarts() const;

private:
    mutable std::mutex mutex_;
    std::vector<int32_t> progress_;
    std::vector<int32_t> buffer_;
    std::vector<bool> cancelEnabled_;
    int imageBuildStarts_ = 0;
};

// A progress window that records what the search does with it.
class TProgressWindowDouble : public IsbProgressWindow {
public:
    struct TState {
        std::string Caption;
        std::string InfoText;
        bool CancelVisible = false;
        bool Shown = false;
        int Shows = 0;
        int Hides = 0;
        bool Destroyed = false;
        std::function<void()> OnCancel;
    };
    explicit TProgressWindowDouble(std::shared_ptr<TState> state) : state_(std::move(state)) {}
    ~TProgressWindowDouble() override { state_->Destroyed = true; }
    void SetCaption(const std::string& caption) override { state_->Caption = caption; }
    void SetCancelVisible(bool visible) override { state_->CancelVisible = visible; }
    void SetInfoText(const std::string& text) override { state_->InfoText = text; }
    void SetOnCancel(std::function<void()> onCancel) override {
        state_->OnCancel = std::move(onCancel);
    }
    void Show() override {
        state_->Shown = true;
        ++state_->Shows;
    }
    void Hide() override {
        state_->Shown = false;
        ++state_->Hides;
    }

private:
    std::shared_ptr<TState> state_;
};

// A message box as the burner showed it.
struct TShownBox {
    std::string Text;
    std::string Caption;
    TsbMessageBoxKind Kind;
};

// A test that runs against the disc library with a configuration and a state
// folder of its own. Set Configuration() before SetUp runs (in the derived
// constructor) to use a configuration file; the library's built-in recorders
// otherwise. Installs the front-end doubles and clears the log.
class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The folder of this test (removed afterwards), its state folder.
    const std::filesystem::path& Folder() const { return folder_; }
    std::filesystem::path StateFolder() const { return folder_ / "state"; }

    // Starts the library with the given configuration text (empty: built-in set).
    void StartLibrary(const std::string& configuration);
    void StopLibrary();

    std::vector<TShownBox> Boxes() const;
    std::shared_ptr<TProgressWindowDouble::TState> LastWindow() const;
    int WindowsCreated() const { return windowsCreated_; }
    // Called for every ProcessMessages of the engine while it waits.
    std::function<void()> OnProcessMessages;
    std::atomic<int> ProcessMessagesCalls{0};

private:
    std::filesystem::path folder_;
    bool started_ = false;
    mutable std::mutex boxesMutex_;
    std::vector<TShownBox> boxes_;
    std::vector<std::shared_ptr<TProgressWindowDouble::TState>> windows_;
    int windowsCreated_ = 0;
};

} // namespace enginetest
