// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/engine/support/EngineTestSupport.h"

#include "base/sbCallBack.h"
#include "base/sbLogger.h"
#include "platform/sbSystem.h"
#include "starburn/StarBurn.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace enginetest {

namespace {

std::filesystem::path makeTestFolder() {
    const auto folder =
        std::filesystem::temp_directory_path() / ("tavrin_engine_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    return folder;
}

// The global logger reads its switch once, on first use: switch it on before
// any test runs, and let the program live in the test's folder so the log
// lands there.
class LoggingOn : public ::testing::Environment {
public:
    void SetUp() override {
        const auto registry = TestFolder() / "registry.ini";
        std::ofstream(registry) << "[HKEY_LOCAL_MACHINE\\Software\\Korvath\\StarBurnVelmarSample]\n"
                                   "LogEnabled=1\n";
        ::setenv("TAVRIN_REGISTRY", registry.c_str(), 1);
        platform::SetExecutablePathOverride(TestFolder() / "tavrin");
        ASSERT_TRUE(Logger().Enabled());
    }
    void TearDown() override {
        platform::SetExecutablePathOverride({});
        std::error_code ignored;
        std::filesystem::remove_all(TestFolder(), ignored);
    }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new LoggingOn);

} // namespace

const std::filesystem::path& TestFolder() {
    static const std::filesystem::path folder = makeTestFolder();
    return folder;
}

std::vector<std::string> LogMessages() {
    std::ifstream file(TestFolder() / "tavrin.log", std::ios::binary);
    std::vector<std::string> messages;
    std::string line;
    while (std::getline(file, line)) {
        // "hh:nn:ss.zzz: " then the message, then the CR of the line end.
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        messages.push_back(line.size() >= 14 ? line.substr(14) : line);
    }
    return messages;
}

void ClearLog() {
    std::error_code ignored;
    std::filesystem::remove(TestFolder() / "tavrin.log", ignored);
}

std::vector<std::string> LogFrom(const std::vector<std::string>& messages,
                                 const std::string& first) {
    for (auto it = messages.begin(); it != messages.end(); ++it) {
        if (*it == first) {
            return {it, messages.end()};
        }
    }
    return {};
}

bool LogContains(const std::string& message) {
    const auto messages = LogMessages();
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}

void WriteImage(const std::filesystem::path& path, std::uint64_t size, unsigned seed) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    std::string chunk(65536, '\0');
    std::uint64_t written = 0;
    while (written < size) {
        const std::uint64_t n = std::min<std::uint64_t>(chunk.size(), size - written);
        for (std::uint64_t k = 0; k < n; ++k) {
            const std::uint64_t at = written + k;
            chunk[k] = static_cast<char>((at * 131 + at / 2048 * 7 + seed) & 0xFF);
        }
        file.write(chunk.data(), static_cast<std::streamsize>(n));
        written += n;
    }
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::ostream& operator<<(std::ostream& out, const TMessage& message) {
    return out << "{" << static_cast<int>(message.Kind) << ", \"" << message.Text << "\"}";
}

void TMessageSink::Add(const std::string& text, TsbLogItemType kind) {
    std::lock_guard lock(mutex_);
    messages_.push_back({text, kind});
}

std::vector<TMessage> TMessageSink::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<std::string> TMessageSink::Texts() const {
    std::vector<std::string> texts;
    for (const auto& message : Messages()) {
        texts.push_back(message.Text);
    }
    return texts;
}

void TMessageSink::Clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
}

TEventRecorder::TEventRecorder() {
    CallBackEventer().SetOnProgress([this](TsbCallBackEventer&, int32_t percent) {
        std::lock_guard lock(mutex_);
        progress_.push_back(percent);
    });
    CallBackEventer().SetOnBufferStatus([this](TsbCallBackEventer&, int32_t percent) {
        std::lock_guard lock(mutex_);
        buffer_.push_back(percent);
    });
    CallBackEventer().SetOnCancelEnabled([this](TsbCallBackEventer&, bool enabled) {
        std::lock_guard lock(mutex_);
        cancelEnabled_.push_back(enabled);
    });
    CallBackEventer().SetOnImageBuildStart([this](TsbCallBackEventer&) {
        std::lock_guard lock(mutex_);
        ++imageBuildStarts_;
    });
}

TEventRecorder::~TEventRecorder() {
    CallBackEventer().SetOnProgress({});
    CallBackEventer().SetOnBufferStatus({});
    CallBackEventer().SetOnCancelEnabled({});
    CallBackEventer().SetOnImageBuildStart({});
}

std::vector<int32_t> TEventRecorder::Progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

std::vector<int32_t> TEventRecorder::BufferStatus() const {
    std::lock_guard lock(mutex_);
    return buffer_;
}

std::vector<bool> TEventRecorder::CancelEnabled() const {
    std::lock_guard lock(mutex_);
    return cancelEnabled_;
}

int TEventRecorder::ImageBuildStarts() const {
    std::lock_guard lock(mutex_);
    return imageBuildStarts_;
}

void LibraryTest::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = TestFolder() / (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(StateFolder());
    ClearLog();
    SetMessageBoxHook(
        [this](const std::string& text, const std::string& caption, TsbMessageBoxKind kind) {
            std::lock_guard lock(boxesMutex_);
            boxes_.push_back({text, caption, kind});
        });
    SetProgressWindowFactory([this]() -> std::unique_ptr<IsbProgressWindow> {
        auto state = std::make_shared<TProgressWindowDouble::TState>();
        windows_.push_back(state);
        ++windowsCreated_;
        return std::make_unique<TProgressWindowDouble>(state);
    });
    SetProcessMessagesHook([this] {
        ++ProcessMessagesCalls;
        if (OnProcessMessages) {
            OnProcessMessages();
        }
    });
}

void LibraryTest::TearDown() {
    StopLibrary();
    SetProcessMessagesHook({});
    SetProgressWindowFactory({});
    SetMessageBoxHook({});
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void LibraryTest::StartLibrary(const std::string& configuration) {
    StopLibrary();
    ::setenv("STARBURN_STATE_DIR", StateFolder().c_str(), 1);
    if (configuration.empty()) {
        ::unsetenv("STARBURN_CONFIG");
    } else {
        const auto file = folder_ / "recorders.ini";
        std::ofstream(file) << configuration;
        ::setenv("STARBURN_CONFIG", file.c_str(), 1);
    }
    char text[1024] = {};
    ASSERT_EQ(StarBurn_UpStartEx(nullptr, text, sizeof text), 0) << text;
    started_ = true;
}

void LibraryTest::StopLibrary() {
    if (started_) {
        StarBurn_DownShut();
        started_ = false;
    }
}

std::vector<TShownBox> LibraryTest::Boxes() const {
    std::lock_guard lock(boxesMutex_);
    return boxes_;
}

std::shared_ptr<TProgressWindowDouble::TState> LibraryTest::LastWindow() const {
    return windows_.empty() ? nullptr : windows_.back();
}

} // namespace enginetest
