// The master file table scan and the restore by name.
#include "undelete/ntfs_undel.h"

#include <array>
#include <unordered_map>

#include "ntfs/file_record.h"
#include "ntfs/ntfs_volume.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "run/output_naming.h"

namespace {

// Records 0 to 15 are the file system's own and never hold a user's document.
constexpr std::uint64_t kFirstUserRecord = 16;
// What a restore reads of a candidate: standard information, attribute list, file name, data.
constexpr std::uint32_t kRestoreAttrMask = 0x87;

} // namespace

struct CNtfsUndel::State {
    std::unique_ptr<CNTFSVolume> volume;
    std::vector<std::uint64_t> deletedRecords;

    // Every candidate's name read once, after the scan, by its case-fold key: a run with many
    // containers then costs one load per candidate for the index plus one per match, instead
    // of loading every candidate again for every container.
    bool indexBuilt = false;
    struct Named {
        std::uint64_t record;
        std::string name;
    };
    std::unordered_map<std::string, std::vector<Named>> byName;
};

CNtfsUndel::CNtfsUndel() : m_state(std::make_unique<State>()) {}

CNtfsUndel::~CNtfsUndel() = default;

const std::vector<std::uint64_t>& CNtfsUndel::DeletedRecords() const {
    return m_state->deletedRecords;
}

const CNTFSVolume* CNtfsUndel::Volume() const {
    return m_state->volume.get();
}

bool CNtfsUndel::ScanVolume(const std::string& device) {
    m_state = std::make_unique<State>();
    auto volume = std::make_unique<CNTFSVolume>(device, m_partition);
    if (!volume->IsReady()) {
        PublishProgress(-1);
        return false;
    }
    m_state->volume = std::move(volume);
    const CNTFSVolume& vol = *m_state->volume;
    PublishProgress(0);

    // A ready volume whose record 0 has no $DATA gives no record count: nothing is examined
    // rather than guessing at a table that may not be contiguous.
    std::uint64_t total = 0;
    if (vol.MftData() != nullptr && vol.RecordSize() != 0) {
        total = vol.MftData()->QueryDataLength(nullptr) / vol.RecordSize();
    }
    for (std::uint64_t n = kFirstUserRecord; n < total; ++n) {
        if (stopRequested.load(std::memory_order_relaxed) != 0) {
            stopRequested.store(0, std::memory_order_relaxed);
            break;
        }
        PublishProgress(static_cast<std::int32_t>(n * 1000 / total));
        CFileRecord record(&vol);
        record.SetDeletedOnly(true);
        if (record.LoadRecord(n)) {
            m_state->deletedRecords.push_back(n);
        }
    }
    PublishProgress(-1);
    return true;
}

void CNtfsUndel::BuildNameIndex() {
    m_state->indexBuilt = true;
    if (!m_state->volume) {
        return;
    }
    const auto& codePage = platform::ActiveCodePage();
    CFileRecord record(m_state->volume.get());
    record.SetAttrMask(kRestoreAttrMask);
    std::array<char, CFileRecord::kAnsiNameCapacity> name{};
    for (std::uint64_t n : m_state->deletedRecords) {
        // A candidate that cannot be read or parsed (a compressed or encrypted file, a damaged
        // record) is passed over: it must not hide the candidates after it.
        if (!record.LoadRecord(n) || !record.ParseAttributes()) {
            continue;
        }
        name.fill('\0');
        const std::int32_t length = record.GetAnsiName(name);
        if (length <= 0) {
            continue;
        }
        std::string text(name.data(), static_cast<std::size_t>(length));
        m_state->byName[codePage.CaseFoldKey(text)].push_back({n, std::move(text)});
    }
}

bool CNtfsUndel::RestoreByName(const std::string& outputFolder, const std::string& name,
                               std::vector<std::string>& restored) {
    if (!m_state->indexBuilt) {
        BuildNameIndex();
    }
    const auto& codePage = platform::ActiveCodePage();
    const auto found = m_state->byName.find(codePage.CaseFoldKey(name));
    if (found == m_state->byName.end()) {
        return false;
    }
    const std::size_t before = restored.size();
    CFileRecord record(m_state->volume.get());
    record.SetAttrMask(kRestoreAttrMask);
    for (const State::Named& candidate : found->second) {
        // The record is read again in its present state: if it has been reused since the
        // index was made, it is restored only when it still bears the name.
        if (!record.LoadRecord(candidate.record) || !record.ParseAttributes()) {
            continue;
        }
        std::array<char, CFileRecord::kAnsiNameCapacity> present{};
        const std::int32_t length = record.GetAnsiName(present);
        if (length <= 0 ||
            !codePage.EqualsNoCase(
                std::string_view(present.data(), static_cast<std::size_t>(length)), name)) {
            continue;
        }
        // The file takes the requested name, not the record's, which may differ in case.
        std::string path = JoinOutputPath(outputFolder, name);
        platform::File file = CreateUniqueFile(path, kRestoredNameLimit);
        const bool created = file.IsOpen();
        if (record.CopyDataToFile(file) && file.Close()) {
            restored.push_back(path);
        } else if (created) {
            file.Close();
            platform::DeleteFile(path);
        }
    }
    return restored.size() > before;
}
