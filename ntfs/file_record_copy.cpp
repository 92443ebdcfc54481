// Copying a record's unnamed data stream into a new file.
#include "ntfs/file_record.h"

#include <memory>

#include "platform/file.h"
#include "platform/message_box.h"

namespace {

constexpr std::uint32_t kCopyBlockSize = 65536;
// Larger data is copied only when the user agrees: it may take long and fill the disk.
constexpr std::uint64_t kAskAboveSize = 100ull * 1024 * 1024;

void Notify(const char* text) {
    platform::MessageBoxA(text, "", platform::MB_OK);
}

} // namespace

bool CFileRecord::CopyDataToFile(platform::File& file) {
    if (!file.IsOpen()) {
        Notify("File creation failed");
        return false;
    }
    CAttrBase* data = FindUnnamedData();
    if (data == nullptr) {
        return true;
    }
    const std::uint64_t size = data->QueryDataLength(nullptr);
    if (size > kAskAboveSize &&
        platform::MessageBoxA("File size exceeds 100M, do you want to continue anyway ?", "",
                              platform::MB_OKCANCEL) != platform::IDOK) {
        return false;
    }
    auto buffer = std::make_unique<std::uint8_t[]>(kCopyBlockSize);
    std::uint64_t remaining = size;
    for (std::uint64_t offset = 0; offset < size; offset += kCopyBlockSize) {
        std::uint32_t got = 0;
        if (!data->ReadValueAt(offset, buffer.get(), kCopyBlockSize, &got) ||
            (got != kCopyBlockSize && got != remaining)) {
            Notify("Read data error");
            return false;
        }
        // A write that fails or falls short (a full disk) must not leave a truncated file that
        // counts as restored.
        if (!file.Write(buffer.get(), got)) {
            return false;
        }
        remaining -= got;
    }
    return true;
}
