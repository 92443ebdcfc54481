// The hv-debug-view program prints each line the log sends while the writer goes on.
#include "tests/diaglog/diaglog_fixture.h"

#include "diaglog/debug_log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;

extern char** environ;

TEST_F(DiagLogSandbox, ViewerProgramPrintsEveryLine) {
    WriteSettings("OUTPUT=4\n");
    const fs::path out = m_root / "viewer.out";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string program = HV_DEBUG_VIEW_PROGRAM;
    std::string socketFlag = "--socket";
    std::string socketPath = m_socketPath.string();
    std::string countFlag = "--count";
    std::string count = "3";
    char* const argv[] = {program.data(),   socketFlag.data(), socketPath.data(),
                          countFlag.data(), count.data(),      nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    // Wait for the viewer to listen (without timing anything): its socket appears.
    for (int i = 0; i < 1000 && !fs::exists(m_socketPath); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(fs::exists(m_socketPath));

    DebugLogPrint(nullptr, "one");
    DebugLogPrint(nullptr, "two %d", 2);
    DebugLogPrint(nullptr, "%s", std::string(2100, 'x').c_str());
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string p = "[2021-03-03][14:05:09:007]";
    EXPECT_EQ(ReadFile(out), p + "one\n" + p + "two 2\n" + p + std::string(2021, 'x') + "\n");
    EXPECT_FALSE(fs::exists(m_socketPath)) << "the viewer removes its socket when it ends";
}
