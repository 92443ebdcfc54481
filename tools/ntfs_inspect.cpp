// ntfs-inspect: prints an NTFS volume's geometry and the attributes and data runs of chosen
// file records, reading the device or image strictly read-only. For debugging the reader and
// for users who want to look at a disk before they recover from it.
#include "ntfs/attr_attr_list.h"
#include "ntfs/attr_file_name.h"
#include "ntfs/attr_header.h"
#include "ntfs/attr_index_root.h"
#include "ntfs/attr_non_resident.h"
#include "ntfs/attr_std_info.h"
#include "ntfs/attr_vol_name.h"
#include "ntfs/file_record.h"
#include "ntfs/ntfs_volume.h"
#include "ntfs/partition_table.h"
#include "platform/codepage.h"
#include "platform/le_reader.h"
#include "platform/raw_device.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kAttrNameOffsetField = 0x0A;
constexpr std::uint32_t kCopyChunk = 64 * 1024;

const char* TypeName(std::uint32_t type) {
    switch (type) {
    case 0x10:
        return "$STANDARD_INFORMATION";
    case 0x20:
        return "$ATTRIBUTE_LIST";
    case 0x30:
        return "$FILE_NAME";
    case 0x40:
        return "$OBJECT_ID";
    case 0x50:
        return "$SECURITY_DESCRIPTOR";
    case 0x60:
        return "$VOLUME_NAME";
    case 0x70:
        return "$VOLUME_INFORMATION";
    case 0x80:
        return "$DATA";
    case 0x90:
        return "$INDEX_ROOT";
    case 0xA0:
        return "$INDEX_ALLOCATION";
    case 0xB0:
        return "$BITMAP";
    case 0xC0:
        return "$REPARSE_POINT";
    case 0xD0:
        return "$EA_INFORMATION";
    case 0xE0:
        return "$EA";
    case 0x100:
        return "$LOGGED_UTILITY_STREAM";
    default:
        return "(unknown)";
    }
}

// The attribute's own name (of a named stream or index), in the ANSI code page.
std::string AttributeName(const CAttrBase& attribute) {
    const platform::LeReader header(attribute.GetHeader());
    const auto offset = header.At<std::uint16_t>(kAttrNameOffsetField);
    const auto bytes =
        offset ? header.Bytes(*offset, std::size_t{attribute.NameLength()} * 2) : std::nullopt;
    if (!bytes) {
        return {};
    }
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < bytes->size(); i += 2) {
        wide.push_back(static_cast<char16_t>((*bytes)[i] | ((*bytes)[i + 1] << 8)));
    }
    return platform::ActiveCodePage().FromUtf16(wide);
}

void PrintAttribute(CAttrBase& attribute) {
    const std::uint32_t type = attribute.TypeCode();
    std::uint64_t allocated = 0;
    const std::uint64_t size = attribute.QueryDataLength(&allocated);
    const std::string name = AttributeName(attribute);
    std::printf("Type: %s (0x%X)   Name: %s   %s   size: %" PRIu64 "  allocated: %" PRIu64 "%s\n",
                TypeName(type), type, name.empty() ? "N/A" : name.c_str(),
                attribute.IsNonResident() ? "Non-Resident" : "Resident", size, allocated,
                attribute.IsDataValid() ? "" : "   (runs not valid)");
    if (const auto* stdInfo = dynamic_cast<const CAttr_StdInfo*>(&attribute)) {
        std::printf("    file attribute flags: 0x%08X%s%s\n", stdInfo->GetFileAttrFlags(),
                    stdInfo->HasCompressedFlag() ? " compressed" : "",
                    stdInfo->HasEncryptedFlag() ? " encrypted" : "");
    }
    if (const auto* fileName = dynamic_cast<const CAttr_FileName*>(&attribute)) {
        static const char* const kNamespaces[] = {"POSIX", "Win32", "DOS", "Win32 & DOS"};
        char ansi[CFileRecord::kAnsiNameCapacity] = {};
        fileName->CopyNameAnsi(ansi, sizeof ansi);
        const std::uint8_t ns = fileName->GetNamespace();
        std::printf("    name: %s   namespace: %s\n", ansi, ns < 4 ? kNamespaces[ns] : "?");
    }
    if (const auto* label = dynamic_cast<const CAttr_VolName*>(&attribute)) {
        std::printf("    label: %s\n", label->LabelAnsi());
    }
    if (auto* nonResident = dynamic_cast<CAttrNonResident*>(&attribute)) {
        std::printf("    VCN %" PRIu64 " - %" PRIu64 "\n", nonResident->StartingVcn(),
                    nonResident->LastVcn());
        // Runs count VCNs from the start of their own attribute record; shown from the stream's
        // start, as the header's starting VCN places them.
        const std::uint64_t base = nonResident->StartingVcn();
        CSList<tagDataRun_Entry>& runs = nonResident->RunList();
        for (tagDataRun_Entry* run = runs.First(); run != nullptr; run = runs.Next()) {
            if (run->lcn == tagDataRun_Entry::kSparseLcn) {
                std::printf("    run: VCN %" PRIu64 "  sparse  length %" PRIu64 "\n",
                            base + run->startVcn, run->clusters);
            } else {
                std::printf("    run: VCN %" PRIu64 "  LCN %" PRId64 "  length %" PRIu64 "\n",
                            base + run->startVcn, run->lcn, run->clusters);
            }
        }
    }
    if (auto* root = dynamic_cast<CAttr_IndexRoot*>(&attribute)) {
        for (CIndexEntry* entry = root->First(); entry != nullptr; entry = root->Next()) {
            char ansi[CFileRecord::kAnsiNameCapacity] = {};
            if (entry->CopyNameAnsi(ansi, sizeof ansi) > 0) {
                std::printf("    index entry: %s\n", ansi);
            }
        }
    }
    auto printExtensions = [](CSList<CFileRecord>& records) {
        for (CFileRecord* r = records.First(); r != nullptr; r = records.Next()) {
            std::printf("    extension record: %" PRIu64 "\n", r->RecordNumber());
        }
    };
    if (auto* list = dynamic_cast<CAttr_AttrList<CAttrResident>*>(&attribute)) {
        printExtensions(list->ExtensionRecords());
    }
    if (auto* list = dynamic_cast<CAttr_AttrList<CAttrNonResident>*>(&attribute)) {
        printExtensions(list->ExtensionRecords());
    }
}

void PrintGeometry(const std::string& path, const CNTFSVolume& volume) {
    if (auto device = platform::RawDevice::OpenReadOnly(path)) {
        for (const PartitionTable::Entry& p : PartitionTable::ReadPartitions(*device)) {
            std::printf("Partition %d: %s type 0x%02X  offset %" PRIu64 "  length %" PRIu64 "\n",
                        p.number, p.gpt ? "GPT" : "MBR", p.mbrType, p.offset, p.length);
        }
    }
    std::printf("Volume start: %" PRIu64 " bytes\n", volume.VolumeStart());
    std::printf("Ready: %s\n", volume.IsReady() ? "yes" : "no");
    std::printf("Version: %u.%u\n", volume.Version() >> 8, volume.Version() & 0xFF);
    std::printf("Sector Size: %u\n", volume.SectorSize());
    std::printf("Cluster Size: %u\n", volume.ClusterSize());
    std::printf("Size of MFT Entries: %u bytes\n", volume.RecordSize());
    std::printf("Size of Index Records: %u bytes\n", volume.IndexBlockSize());
    if (volume.ClusterSize() != 0) {
        std::printf("First Cluster of MFT: %" PRIu64 "\n",
                    volume.MftOffset() / volume.ClusterSize());
    }
    if (volume.MftData() != nullptr && volume.RecordSize() != 0) {
        const std::uint64_t size = volume.MftData()->QueryDataLength(nullptr);
        std::printf("MFT data size: %" PRIu64 " bytes (%" PRIu64 " records)\n", size,
                    size / volume.RecordSize());
    }
    CFileRecord record(&volume);
    record.SetAttrMask(0x60);
    if (record.LoadRecord(3) && record.ParseAttributes()) {
        if (auto* label = dynamic_cast<CAttr_VolName*>(
                record.AttrList((attr_header::kVolumeName >> 4) - 1).First())) {
            std::printf("Volume Name: %s\n", label->LabelAnsi());
        }
    }
}

int PrintRecord(const CNTFSVolume& volume, std::uint64_t n) {
    CFileRecord record(&volume);
    std::printf("\nRecord %" PRIu64 "\n", n);
    if (!record.LoadRecord(n)) {
        std::printf("  cannot be loaded (unreadable, not a file record, or torn)\n");
        return 1;
    }
    const std::uint16_t flags = record.Flags();
    std::printf("  flags: 0x%04X%s%s\n", flags, (flags & 1) ? " in-use" : " not-in-use",
                (flags & 2) ? " directory" : "");
    if (!record.ParseAttributes()) {
        std::printf("  parse refused (compressed or encrypted file, or a bad type code); "
                    "attributes built so far:\n");
    }
    for (std::uint32_t k = 0; k < CFileRecord::kAttrListCount; ++k) {
        CSList<CAttrBase>& list = record.AttrList(k);
        for (CAttrBase* a = list.First(); a != nullptr; a = list.Next()) {
            PrintAttribute(*a);
        }
    }
    return 0;
}

int CopyData(const CNTFSVolume& volume, std::uint64_t n) {
    CFileRecord record(&volume);
    record.SetAttrMask(0x87);
    if (!record.LoadRecord(n) || !record.ParseAttributes()) {
        std::fprintf(stderr, "record %" PRIu64 " cannot be read\n", n);
        return 1;
    }
    CAttrBase* data = record.FindUnnamedData();
    if (data == nullptr) {
        std::fprintf(stderr, "record %" PRIu64 " has no unnamed $DATA\n", n);
        return 1;
    }
    const std::uint64_t size = data->QueryDataLength(nullptr);
    std::vector<char> buffer(kCopyChunk);
    for (std::uint64_t offset = 0; offset < size; offset += kCopyChunk) {
        std::uint32_t got = 0;
        if (!data->ReadValueAt(offset, buffer.data(), kCopyChunk, &got) ||
            std::fwrite(buffer.data(), 1, got, stdout) != got) {
            std::fprintf(stderr, "read failed at offset %" PRIu64 "\n", offset);
            return 1;
        }
    }
    return 0;
}

void Usage(const char* program) {
    std::fprintf(stderr,
                 "usage: %s [-p PARTITION] DEVICE [RECORD...]\n"
                 "       %s [-p PARTITION] -c RECORD DEVICE\n"
                 "Prints the NTFS volume's geometry and each RECORD's attributes and data runs;\n"
                 "with -c, writes RECORD's unnamed data stream to standard output.\n"
                 "DEVICE is a block device or image file (bare volume, MBR or GPT disk), opened\n"
                 "read-only. PARTITION picks a partition by number (default: first NTFS one).\n",
                 program, program);
}

bool ParseNumber(const char* text, std::uint64_t& out) {
    char* end = nullptr;
    out = std::strtoull(text, &end, 0);
    return end != text && *end == '\0';
}

} // namespace

int main(int argc, char** argv) {
    try {
        int partition = PartitionTable::kFirstNtfs;
        bool copy = false;
        std::uint64_t copyRecord = 0;
        std::vector<std::string> positional;
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            std::uint64_t value = 0;
            if ((arg == "-p" || arg == "-c") && i + 1 < argc && ParseNumber(argv[i + 1], value)) {
                if (arg == "-p") {
                    partition = static_cast<int>(value);
                } else {
                    copy = true;
                    copyRecord = value;
                }
                ++i;
            } else if (arg == "-h" || arg == "--help" || (!arg.empty() && arg[0] == '-')) {
                Usage(argv[0]);
                return 2;
            } else {
                positional.push_back(arg);
            }
        }
        if (positional.empty()) {
            Usage(argv[0]);
            return 2;
        }
        CNTFSVolume volume(positional[0], partition);
        if (copy) {
            return volume.IsReady() ? CopyData(volume, copyRecord) : 1;
        }
        PrintGeometry(positional[0], volume);
        if (!volume.IsReady()) {
            return 1;
        }
        int rc = 0;
        for (std::size_t i = 1; i < positional.size(); ++i) {
            std::uint64_t n = 0;
            if (!ParseNumber(positional[i].c_str(), n)) {
                Usage(argv[0]);
                return 2;
            }
            rc |= PrintRecord(volume, n);
        }
        return rc;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ntfs-inspect: %s\n", e.what());
        return 1;
    }
}
