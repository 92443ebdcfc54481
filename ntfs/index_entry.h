// CIndexEntry: one entry of a file name index root, named by its file name key.
#pragma once

#include "ntfs/file_name.h"

class CIndexEntry : public CFileName {
public:
    // `entry` covers the entry's declared length inside the index root value; `key` is its file
    // name key, or empty when the entry has none.
    CIndexEntry(std::span<const std::uint8_t> entry, std::span<const std::uint8_t> key)
        : CFileName(key), m_rawEntry(entry) {
        if (!key.empty()) {
            BuildUpperName();
        }
    }

    [[nodiscard]] std::span<const std::uint8_t> RawEntry() const { return m_rawEntry; }

private:
    std::span<const std::uint8_t> m_rawEntry;
};
