// A sandbox for diagnostic-log tests: a fresh temporary folder that stands in for the Windows
// directory, the registry store, the program's folder, the viewer socket and the report-log
// folder, a clock the test moves by hand, and the debugger output captured in memory.
#pragma once

#include "diaglog/debug_log.h"
#include "platform/log_clock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

class FakeLogClock : public platform::LogClock {
public:
    std::uint32_t TickMs() const override { return tick; }
    platform::LogTime Now() const override { return now; }

    std::uint32_t tick = 20000;
    platform::LogTime now{2021, 3, 3, 14, 5, 9, 7};
};

class DiagLogSandbox : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the settings file where the bare name is looked up.
    void WriteSettings(const std::string& debugSection) const;
    static void WriteFile(const std::filesystem::path& path, const std::string& bytes);
    static std::string ReadFile(const std::filesystem::path& path);
    std::vector<std::string> DebuggerLines();

    std::filesystem::path m_root;
    std::filesystem::path m_windowsDir;  // holds the bare-named VEXO.INI
    std::filesystem::path m_programDir;  // the program's folder
    std::filesystem::path m_programPath; // m_programDir / "undo.exe"
    std::filesystem::path m_registryFile;
    std::filesystem::path m_socketPath;
    std::filesystem::path m_reportDir;
    FakeLogClock m_clock;

private:
    std::mutex m_debugMutex;
    std::vector<std::string> m_debugLines;
};
