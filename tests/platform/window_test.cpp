// Synchronous window messages between threads.
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

#include "platform/window.h"

namespace {

using platform::LPARAM;
using platform::LRESULT;
using platform::WPARAM;

TEST(MessageWindow, HandlerRunsOnTheOwnerThreadWhileTheSenderWaits) {
    const auto owner = std::this_thread::get_id();
    std::thread::id handledOn;
    std::atomic<bool> sendReturned{false};
    bool sawSenderWaiting = false;
    platform::MessageWindow window([&](std::uint32_t message, WPARAM wParam, LPARAM) -> LRESULT {
        handledOn = std::this_thread::get_id();
        sawSenderWaiting = !sendReturned.load();
        return static_cast<LRESULT>(message + wParam);
    });

    LRESULT result = 0;
    std::thread sender([&] {
        EXPECT_TRUE(platform::SendMessageA(window.Handle(), 0x658, 2, 0, &result));
        sendReturned = true;
    });
    while (!window.WaitAndDispatch(std::chrono::milliseconds(10))) {
    }
    sender.join();
    EXPECT_EQ(handledOn, owner);
    EXPECT_TRUE(sawSenderWaiting);
    EXPECT_EQ(result, 0x65A);
}

TEST(MessageWindow, SendFromTheOwnerThreadCallsTheHandlerDirectly) {
    int calls = 0;
    platform::MessageWindow window(
        [&](std::uint32_t, WPARAM, LPARAM) -> LRESULT { return ++calls; });
    EXPECT_TRUE(platform::SendMessageA(window.Handle(), 1, 0, 0));
    EXPECT_EQ(calls, 1);
}

TEST(MessageWindow, DestroyedWindowFailsWaitingAndLaterSends) {
    int calls = 0;
    auto window = std::make_unique<platform::MessageWindow>(
        [&](std::uint32_t, WPARAM, LPARAM) -> LRESULT { return ++calls; });
    platform::WindowHandle handle = window->Handle();

    std::atomic<int> outcome{-1};
    std::thread sender([&] { outcome = platform::SendMessageA(handle, 1, 0, 0) ? 1 : 0; });
    // The sender is queued (or about to be); destroying the window must release it unhandled.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    window.reset();
    sender.join();
    EXPECT_EQ(outcome.load(), 0);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(platform::SendMessageA(handle, 1, 0, 0));
    EXPECT_FALSE(platform::SendMessageA(nullptr, 1, 0, 0));
}

} // namespace
