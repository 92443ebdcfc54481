// Files made for the user who started the program through pkexec or sudo belong to that user.
#include <cstdlib>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/invoking_user.h"
#include "platform/user_paths.h"
#include "tests/support/temp_dir.h"

namespace {

// Sets the two variables for one test and removes them afterwards.
struct InvokedBy {
    InvokedBy(const char* pkexecUid, const char* sudoUid) {
        Set("PKEXEC_UID", pkexecUid);
        Set("SUDO_UID", sudoUid);
    }
    ~InvokedBy() {
        ::unsetenv("PKEXEC_UID");
        ::unsetenv("SUDO_UID");
    }
    static void Set(const char* name, const char* value) {
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
};

uid_t OwnerOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_uid : static_cast<uid_t>(-1);
}

TEST(InvokingUser, TakenFromPkexecThenSudoWhenRunningAsRoot) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only a process running as root acts for another user";
    }
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    const std::string nobodyUid = std::to_string(nobody->pw_uid);
    struct Case {
        const char* label;
        const char* pkexec;
        const char* sudo;
        bool found;
    };
    const Case cases[] = {
        {"neither", nullptr, nullptr, false},
        {"pkexec", nobodyUid.c_str(), nullptr, true},
        {"sudo", nullptr, nobodyUid.c_str(), true},
        {"pkexec wins", nobodyUid.c_str(), "0", true},
        {"root is nobody to hand to", "0", nullptr, false},
        {"not a number", "12x", nullptr, false},
        {"no such user", "3999999", nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        InvokedBy invoked(c.pkexec, c.sudo);
        const auto user = platform::InvokingUser();
        ASSERT_EQ(user.has_value(), c.found);
        if (user) {
            EXPECT_EQ(user->uid, nobody->pw_uid);
            EXPECT_EQ(user->home, nobody->pw_dir);
        }
    }
}

TEST(InvokingUser, NewFilesFoldersAndTheLogFolderAreTheirs) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only a process running as root acts for another user";
    }
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    testsupport::TempDir dir;
    {
        InvokedBy invoked(std::to_string(nobody->pw_uid).c_str(), nullptr);
        platform::File file = platform::File::CreateNew(dir / "recovered.docx");
        ASSERT_TRUE(file.IsOpen());
        EXPECT_EQ(OwnerOf(dir / "recovered.docx"), nobody->pw_uid);
        ASSERT_TRUE(platform::CreateDirectories(dir / "a/b"));
        EXPECT_EQ(OwnerOf(dir / "a"), nobody->pw_uid);
        EXPECT_EQ(OwnerOf(dir / "a/b"), nobody->pw_uid);
        EXPECT_EQ(platform::ReportLogDirectory(), std::string(nobody->pw_dir) + "/.local/state/docsalve");
    }
    platform::File own = platform::File::CreateNew(dir / "own.txt");
    ASSERT_TRUE(own.IsOpen());
    EXPECT_EQ(OwnerOf(dir / "own.txt"), 0u);
}

} // namespace
