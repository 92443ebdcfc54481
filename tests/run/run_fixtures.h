// Shared pieces of the run's suites: a window that records every message, a clock that tests
// drive, and an engine whose scan and restore the test scripts.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/window.h"
#include "run/messages.h"
#include "run/output_naming.h"
#include "undelete/ntfs_undel.h"

namespace testsupport {

// One message as the window saw it, with a copy of its record.
struct Recorded {
    std::uint32_t message = 0;
    platform::WPARAM value = 0;
    ScanFileEvent scan{};
    CounterEvent counter{};
    RecoveryResult result{};
    std::int32_t successFlag = -1;
};

class RecordingWindow {
public:
    RecordingWindow()
        : m_window([this](std::uint32_t message, platform::WPARAM wParam, platform::LPARAM lParam) {
              return OnMessage(message, wParam, lParam);
          }) {}

    [[nodiscard]] platform::WindowHandle Handle() const { return m_window.Handle(); }

    // Dispatches on the calling (owner) thread until WM_SCAN_END has been handled.
    void RunUntilScanEnd() {
        while (!m_ended) {
            m_window.WaitAndDispatch(std::chrono::milliseconds(20));
        }
        m_ended = false;
    }

    // Dispatches until a message of kind `message` has been handled.
    void RunUntilSeen(std::uint32_t message) {
        auto seen = [&] {
            for (const auto& r : messages) {
                if (r.message == message) {
                    return true;
                }
            }
            return false;
        };
        while (!seen()) {
            m_window.WaitAndDispatch(std::chrono::milliseconds(20));
        }
    }

    [[nodiscard]] std::vector<std::uint32_t> Kinds() const {
        std::vector<std::uint32_t> kinds;
        for (const auto& r : messages) {
            kinds.push_back(r.message);
        }
        return kinds;
    }

    std::vector<Recorded> messages;

private:
    platform::LRESULT OnMessage(std::uint32_t message, platform::WPARAM wParam,
                                platform::LPARAM lParam) {
        Recorded r;
        r.message = message;
        r.value = wParam;
        if (message == WM_SCAN_FILE) {
            r.scan = *TakeRecord<ScanFileEvent>(wParam);
        } else if (message == WM_INFECTED_COUNT) {
            r.counter = *TakeRecord<CounterEvent>(wParam);
        } else if (message == WM_RECOVERY_RESULT) {
            r.result = *TakeRecord<RecoveryResult>(wParam);
            r.successFlag = *reinterpret_cast<const std::int32_t*>(lParam);
        } else if (message == WM_SCAN_END) {
            m_ended = true;
        }
        messages.push_back(r);
        return 0;
    }

    platform::MessageWindow m_window;
    bool m_ended = false;
};

// A clock whose tick moves only when the test (or a sleep) moves it. A sleep also lets real
// time pass briefly so that other threads make progress.
class ManualClock final : public platform::Clock {
public:
    explicit ManualClock(std::uint32_t start) : m_tick(start) { platform::SetActiveClock(this); }
    ~ManualClock() override { platform::SetActiveClock(nullptr); }

    std::uint32_t TickCount() override { return m_tick.load(); }
    void Sleep(std::uint32_t milliseconds) override {
        m_tick.fetch_add(milliseconds);
        std::function<void()> hook;
        {
            std::lock_guard lock(m_mutex);
            hook = m_onSleep;
        }
        if (hook) {
            hook();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void Advance(std::uint32_t milliseconds) { m_tick.fetch_add(milliseconds); }
    void OnSleep(std::function<void()> hook) {
        std::lock_guard lock(m_mutex);
        m_onSleep = std::move(hook);
    }

private:
    std::atomic<std::uint32_t> m_tick;
    std::mutex m_mutex;
    std::function<void()> m_onSleep;
};

// An engine whose restore writes the files the test names (through the real output naming)
// and whose scan either ends at once or runs until asked to stop.
class ScriptedEngine : public CNtfsUndel {
public:
    bool ScanVolume(const std::string& device) override {
        scannedDevice = device;
        if (scanUntilStopped) {
            std::int32_t perMille = 0;
            while (stopRequested.load() == 0) {
                PublishProgress(perMille);
                perMille = (perMille + 1) % 1000;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        PublishProgress(-1);
        return true;
    }

    bool RestoreByName(const std::string& outputFolder, const std::string& name,
                       std::vector<std::string>& restored) override {
        restoreRequests.push_back(name);
        for (int i = 0; i < copiesToRestore; ++i) {
            std::string path = JoinOutputPath(outputFolder, name);
            platform::File file = CreateUniqueFile(path, kRestoredNameLimit);
            if (file.IsOpen()) {
                restored.push_back(path);
            }
        }
        return !restored.empty();
    }

    void SetProgress(std::int32_t perMille) { PublishProgress(perMille); }

    bool scanUntilStopped = false;
    int copiesToRestore = 0;
    std::string scannedDevice;
    std::vector<std::string> restoreRequests;
};

} // namespace testsupport
