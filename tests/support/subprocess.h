// Running the project's programs from tests: arguments passed as they are, no shell.
#pragma once

#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

// Runs `program` with `args`, standard output (and standard error too with `alsoStderr`) to
// `stdoutPath` when given, and returns its exit status (or -1 when it could not be run or did
// not exit normally).
inline int RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& stdoutPath = {}, bool alsoStderr = false) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid < 0) {
        return -1;
    }
    if (pid == 0) {
        if (!stdoutPath.empty()) {
            if (std::FILE* out = std::freopen(stdoutPath.c_str(), "w", stdout); out == nullptr) {
                ::_exit(127);
            }
            if (alsoStderr) {
                ::dup2(STDOUT_FILENO, STDERR_FILENO);
            }
        }
        std::freopen("/dev/null", "r", stdin);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

} // namespace testsupport
