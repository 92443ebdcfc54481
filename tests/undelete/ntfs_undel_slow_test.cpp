// The deleted-file engine with data of 100 MB and more: each case copies that much.
#include "tests/undelete/undelete_scene.h"

using namespace testsupport;

namespace {

TEST(NtfsUndelSlow, LargeFilesAreAskedAboutOnlyOver100MB) {
    if (!ToolsPresent()) {
        GTEST_SKIP() << "mkntfs is not installed";
    }
    const LargeCase cases[] = {
        {"exactly 100 MB: no question", k100MB, false, false, true},
        {"over 100 MB, OK", k100MB + 1, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        RunLargeCase(c);
    }
}

} // namespace
