// tagDataRun_Entry: one decoded data run of a non-resident attribute.
#pragma once

#include <cstdint>

struct tagDataRun_Entry {
    // First logical cluster of the run; kSparseLcn for a run that has no clusters on disk.
    std::int64_t lcn = 0;
    std::uint64_t clusters = 0;
    std::uint64_t startVcn = 0;
    std::uint64_t lastVcn = 0; // startVcn + clusters - 1, wrapping

    static constexpr std::int64_t kSparseLcn = -1;
};
