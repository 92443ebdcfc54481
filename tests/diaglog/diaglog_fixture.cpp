// The temporary sandbox shared by the diagnostic-log and report-log tests.
#include "tests/diaglog/diaglog_fixture.h"

#include "platform/debug_output.h"
#include "platform/profile_ini.h"
#include "platform/registry_store.h"
#include "platform/user_paths.h"
#include "platform/viewer_socket.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

void DiagLogSandbox::SetUp() {
    std::string pattern = (fs::temp_directory_path() / "docsalve-diaglog-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_root = pattern;
    m_windowsDir = m_root / "windows";
    m_programDir = m_root / "bin";
    m_programPath = m_programDir / "undo.exe";
    m_registryFile = m_root / "registry.ini";
    m_socketPath = m_root / "viewer.sock";
    m_reportDir = m_root / "state" / "docsalve";
    fs::create_directories(m_windowsDir);
    fs::create_directories(m_programDir);

    platform::SetWindowsDirectoryOverride(m_windowsDir.string());
    platform::SetRegistryFileOverride(m_registryFile.string());
    platform::SetModuleFileNameOverride(m_programPath.string());
    platform::SetViewerSocketPathOverride(m_socketPath.string());
    platform::SetReportLogDirectoryOverride(m_reportDir.string());
    platform::SetDebugOutputSink([this](std::string_view text) {
        std::lock_guard<std::mutex> lock(m_debugMutex);
        m_debugLines.emplace_back(text);
    });
    DebugLogResetState();
    DebugLogSetClock(&m_clock);
}

void DiagLogSandbox::TearDown() {
    DebugLogSetClock(nullptr);
    DebugLogResetState();
    platform::SetDebugOutputSink({});
    platform::SetReportLogDirectoryOverride("");
    platform::SetViewerSocketPathOverride("");
    platform::SetModuleFileNameOverride("");
    platform::SetRegistryFileOverride("");
    platform::SetWindowsDirectoryOverride("");
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
}

void DiagLogSandbox::WriteSettings(const std::string& debugSection) const {
    WriteFile(m_windowsDir / "VEXO.INI", "[DEBUG]\n" + debugSection);
}

void DiagLogSandbox::WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string DiagLogSandbox::ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> DiagLogSandbox::DebuggerLines() {
    std::lock_guard<std::mutex> lock(m_debugMutex);
    return m_debugLines;
}
