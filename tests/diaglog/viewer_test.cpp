// The third output: the viewer socket receives the line's record, is found at the first
// refresh after it starts, and is skipped once it is gone.
#include "tests/diaglog/diaglog_fixture.h"

#include "diaglog/debug_log.h"
#include "diaglog/debug_view_record.h"
#include "platform/viewer_socket.h"

#include <gtest/gtest.h>

#include <future>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kGenerousWaitMs = 10000;
constexpr const char* kPrefix = "[2021-03-03][14:05:09:007]";

using Packet = std::optional<std::vector<std::uint8_t>>;

// Receives on another thread, as a viewer process would, while the test writes lines.
std::future<Packet> ReceiveAsync(platform::ViewerListener& listener) {
    return std::async(std::launch::async,
                      [&listener] { return listener.Receive(kGenerousWaitMs); });
}

} // namespace

TEST_F(DiagLogSandbox, ViewerReceivesTheLineRecord) {
    WriteSettings("OUTPUT=4\n");
    auto listener = platform::ViewerListener::Listen(m_socketPath.string());
    ASSERT_TRUE(listener);
    auto received = ReceiveAsync(*listener);
    const fs::path log = m_root / "viewer.log";
    DebugLogPrint(log.c_str(), "seen by the viewer %d", 1);
    const Packet packet = received.get();
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->size(), 2056u);
    const auto line = DecodeDebugViewRecord(*packet);
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, std::string(kPrefix) + "seen by the viewer 1\r\n");
    EXPECT_FALSE(fs::exists(log)) << "OUTPUT=4 writes no file";
    EXPECT_TRUE(DebuggerLines().empty());
}

TEST_F(DiagLogSandbox, ViewerIsFoundAtTheFirstRefreshAfterItStarts) {
    WriteSettings("OUTPUT=4\n");
    DebugLogPrint(nullptr, "no viewer yet");
    EXPECT_FALSE(DebugLogCurrentSettings().hasViewer);

    auto listener = platform::ViewerListener::Listen(m_socketPath.string());
    ASSERT_TRUE(listener);
    DebugLogPrint(nullptr, "before the next refresh");
    EXPECT_FALSE(DebugLogCurrentSettings().hasViewer);
    EXPECT_FALSE(listener->Receive(0)) << "nothing was sent before the refresh";

    m_clock.tick += kDebugRefreshIntervalMs + 1;
    auto received = ReceiveAsync(*listener);
    DebugLogPrint(nullptr, "after the refresh");
    const Packet packet = received.get();
    ASSERT_TRUE(packet);
    EXPECT_EQ(DecodeDebugViewRecord(*packet), std::string(kPrefix) + "after the refresh\r\n");
}

TEST_F(DiagLogSandbox, ClosedViewerIsSkippedAndAReplacementFound) {
    WriteSettings("OUTPUT=6\n");
    auto listener = platform::ViewerListener::Listen(m_socketPath.string());
    ASSERT_TRUE(listener);
    DebugLogRefreshSettings();
    ASSERT_TRUE(DebugLogCurrentSettings().hasViewer);
    listener.reset();

    DebugLogPrint(nullptr, "viewer gone");
    EXPECT_EQ(DebuggerLines().size(), 1u) << "the other outputs go on";

    listener = platform::ViewerListener::Listen(m_socketPath.string());
    ASSERT_TRUE(listener);
    m_clock.tick += kDebugRefreshIntervalMs + 1;
    auto received = ReceiveAsync(*listener);
    DebugLogPrint(nullptr, "new viewer");
    const Packet packet = received.get();
    ASSERT_TRUE(packet);
    EXPECT_EQ(DecodeDebugViewRecord(*packet), std::string(kPrefix) + "new viewer\r\n");
}

TEST_F(DiagLogSandbox, SecondListenerOnALiveSocketIsRefused) {
    auto first = platform::ViewerListener::Listen(m_socketPath.string());
    ASSERT_TRUE(first);
    EXPECT_FALSE(platform::ViewerListener::Listen(m_socketPath.string()));
}

TEST_F(DiagLogSandbox, StaleSocketFileIsReplaced) {
    {
        auto first = platform::ViewerListener::Listen(m_socketPath.string());
        ASSERT_TRUE(first);
        // Leave the socket file behind, as a crashed viewer would.
        fs::create_hard_link(m_socketPath, m_root / "kept.sock");
    }
    fs::rename(m_root / "kept.sock", m_socketPath);
    EXPECT_TRUE(platform::ViewerListener::Listen(m_socketPath.string()));
}

TEST_F(DiagLogSandbox, ViewerThatNeverAnswersDoesNotHoldTheWriterForGood) {
    WriteSettings("OUTPUT=6\n");
    auto listener = platform::ViewerListener::Listen(m_socketPath.string());
    ASSERT_TRUE(listener);
    DebugLogPrint(nullptr, "unanswered"); // nobody calls Receive: the send times out
    EXPECT_EQ(DebuggerLines().size(), 1u);
    DebugLogPrint(nullptr, "after giving up");
    EXPECT_EQ(DebuggerLines().size(), 2u);
}

TEST_F(DiagLogSandbox, ViewerIsNotLookedForUnlessItsOutputIsOn) {
    auto listener = platform::ViewerListener::Listen(m_socketPath.string());
    ASSERT_TRUE(listener);
    DebugLogPrint(nullptr, "no settings file");
    EXPECT_FALSE(DebugLogCurrentSettings().hasViewer);
    EXPECT_FALSE(listener->Receive(0));
}
