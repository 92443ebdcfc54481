// Opening volumes: boot sector geometry (sane and absurd), version, record 0, and finding the
// volume on MBR and GPT disks.
#include "ntfs/attr_base.h"
#include "platform/raw_device.h"
#include "tests/ntfs/test_volume.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace ntfs_test;

struct GeometryCase {
    const char* name;
    Geometry geometry;
    Bytes patchAt0x0B; // raw bytes over the sector size field onwards, when not empty
    bool ready;
    std::uint16_t sectorSize;
    std::uint32_t clusterSize;
    std::uint32_t recordSize;
    std::uint32_t indexBlockSize;
};

Geometry G(std::uint8_t spc, std::uint8_t record, std::uint8_t index, std::uint64_t clusters = 256,
           std::uint16_t sector = 512) {
    Geometry g;
    g.sectorsPerClusterByte = spc;
    g.recordSizeByte = record;
    g.indexBlockSizeByte = index;
    g.clusters = clusters;
    g.sectorSize = sector;
    g.mftCluster = 4;
    return g;
}

TEST(VolumeGeometry, Table) {
    Geometry twoMeg = G(0xF4, 0xF6, 0xF4, 8);
    twoMeg.mftCluster = 1;
    const GeometryCase cases[] = {
        {"usual 4 KB clusters", G(8, 0xF6, 1), {}, true, 512, 4096, 1024, 4096},
        {"2 MB clusters stored as an exponent", twoMeg, {}, true, 512, 2 << 20, 1024, 4096},
        {"0x80 is still a plain count: 64 KB clusters",
         G(0x80, 0xF6, 0xF4, 16),
         {},
         true,
         512,
         65536,
         1024,
         4096},
        {"record size in clusters", G(8, 1, 1), {}, true, 512, 4096, 4096, 4096},
        {"index block by exponent", G(8, 0xF6, 0xF6), {}, true, 512, 4096, 1024, 1024},
        {"4 KB sectors", G(1, 0xF4, 1, 256, 4096), {}, true, 4096, 4096, 4096, 4096},
        {"sectors per cluster 0", G(8, 0xF6, 1), {0x00, 0x02, 0x00}, false, 0, 0, 0, 0},
        {"sector size 0", G(8, 0xF6, 1), {0x00, 0x00, 0x08}, false, 0, 0, 0, 0},
        {"sector size not a power of two", G(8, 0xF6, 1), {0x01, 0x02, 0x08}, false, 0, 0, 0, 0},
        {"record size byte below -31", G(8, 0x80, 1), {}, false, 0, 0, 0, 0},
        {"index size byte below -31", G(8, 0xF6, 0xE0), {}, false, 0, 0, 0, 0},
        {"record larger than 64 KB", G(8, 0x20, 1), {}, false, 0, 0, 0, 0},
        {"record smaller than a sector", G(8, 0xF8, 1), {}, false, 0, 0, 0, 0},
        {"cluster exponent beyond 2 MB", G(8, 0xF6, 1), {0x00, 0x02, 0xE0}, false, 0, 0, 0, 0},
    };
    for (const GeometryCase& c : cases) {
        SCOPED_TRACE(c.name);
        ImageBuilder builder(c.geometry);
        if (!c.patchAt0x0B.empty()) {
            builder.Patch(0x0B, c.patchAt0x0B);
        }
        Bytes image;
        try {
            image = builder.Build();
        } catch (const std::exception&) {
            // The geometry is too odd for the builder to lay records out; a bare boot sector
            // still tells whether the volume refuses it.
            image.assign(1 << 20, 0);
            Bytes boot = ImageBuilder(G(8, 0xF6, 1)).Build();
            std::copy(boot.begin(), boot.begin() + 512, image.begin());
            image[0x0D] = c.geometry.sectorsPerClusterByte;
            image[0x40] = c.geometry.recordSizeByte;
            image[0x44] = c.geometry.indexBlockSizeByte;
        }
        auto opened = OpenImage(image);
        EXPECT_EQ(opened.volume->IsReady(), c.ready);
        if (c.ready) {
            EXPECT_EQ(opened.volume->SectorSize(), c.sectorSize);
            EXPECT_EQ(opened.volume->ClusterSize(), c.clusterSize);
            EXPECT_EQ(opened.volume->RecordSize(), c.recordSize);
            EXPECT_EQ(opened.volume->IndexBlockSize(), c.indexBlockSize);
            EXPECT_EQ(opened.volume->MftOffset(), c.geometry.mftCluster * c.clusterSize);
            EXPECT_EQ(opened.volume->Version(), 0x0301);
            EXPECT_NE(opened.volume->MftData(), nullptr);
        }
    }
}

TEST(VolumeOpen, RefusalsAndPartialStates) {
    {
        SCOPED_TRACE("not NTFS");
        ImageBuilder builder;
        builder.Patch(3, {'E', 'X', 'F', 'A', 'T', ' ', ' ', ' '});
        auto opened = OpenImage(builder.Build());
        EXPECT_FALSE(opened.volume->IsReady());
        EXPECT_EQ(opened.volume->Device(), nullptr) << "the device is closed again";
    }
    {
        SCOPED_TRACE("version 1.2");
        Geometry g;
        g.majorVersion = 1;
        g.minorVersion = 2;
        auto opened = OpenImage(ImageBuilder(g).Build());
        EXPECT_FALSE(opened.volume->IsReady());
        EXPECT_NE(opened.volume->Device(), nullptr);
        EXPECT_EQ(opened.volume->Version(), 0x0102);
    }
    {
        SCOPED_TRACE("record 3 torn");
        ImageBuilder builder;
        RecordLayout layout{true, {StdInfo(), VolumeInformation(3, 1)}};
        layout.tornSector = 1;
        builder.SetRecord(3, layout);
        auto opened = OpenImage(builder.Build());
        EXPECT_FALSE(opened.volume->IsReady());
        EXPECT_EQ(opened.volume->Version(), 0);
    }
    {
        SCOPED_TRACE("record 0 without $DATA");
        ImageBuilder builder;
        builder.SetRecord(0, RecordLayout{true, {StdInfo(), FileName("$MFT")}});
        auto opened = OpenImage(builder.Build());
        EXPECT_TRUE(opened.volume->IsReady());
        EXPECT_EQ(opened.volume->MftData(), nullptr);
        EXPECT_EQ(opened.volume->MftRecord(), nullptr);
    }
    {
        SCOPED_TRACE("record 0 unreadable");
        ImageBuilder builder;
        RecordLayout layout{true, {StdInfo()}};
        layout.badMagic = true;
        builder.SetRecord(0, layout);
        auto opened = OpenImage(builder.Build());
        EXPECT_TRUE(opened.volume->IsReady());
        EXPECT_EQ(opened.volume->MftData(), nullptr);
        EXPECT_NE(opened.volume->MftRecord(), nullptr);
    }
    {
        SCOPED_TRACE("missing path");
        CNTFSVolume volume("/nonexistent/ntfs/image");
        EXPECT_FALSE(volume.IsReady());
    }
    {
        SCOPED_TRACE("device shorter than a boot sector");
        auto opened = OpenImage(Bytes(100, 0));
        EXPECT_FALSE(opened.volume->IsReady());
    }
}

struct PartitionCase {
    const char* name;
    Bytes disk;
    int partition;
    bool ready;
    std::uint64_t volumeStart;
};

TEST(VolumePartitions, Table) {
    const Bytes volume = ImageBuilder().Build();
    Bytes twoPartitions = WrapInMbr(volume, 2048);
    {
        // Partition 1: a small FAT-typed area before the NTFS volume, which becomes partition 2.
        twoPartitions.resize(twoPartitions.size() + volume.size());
        std::copy(volume.begin(), volume.end(),
                  twoPartitions.end() - static_cast<std::ptrdiff_t>(volume.size()));
        const std::uint32_t secondStart =
            static_cast<std::uint32_t>((twoPartitions.size() - volume.size()) / 512);
        const std::size_t e1 = 0x1BE, e2 = 0x1CE;
        twoPartitions[e1 + 4] = 0x0B;
        std::memset(twoPartitions.data() + 2048 * 512, 0, 512); // partition 1 is not NTFS
        twoPartitions[e2 + 4] = 0x07;
        for (int i = 0; i < 4; ++i) {
            twoPartitions[e2 + 8 + i] = static_cast<std::uint8_t>(secondStart >> (8 * i));
            twoPartitions[e2 + 12 + i] =
                static_cast<std::uint8_t>((volume.size() / 512) >> (8 * i));
        }
    }
    const std::uint64_t secondOffset = twoPartitions.size() - volume.size();
    const PartitionCase cases[] = {
        {"bare volume", volume, 0, true, 0},
        {"MBR, first NTFS partition", WrapInMbr(volume, 128), 0, true, 65536},
        {"MBR, partition named", WrapInMbr(volume, 128), 1, true, 65536},
        {"MBR, no such partition", WrapInMbr(volume, 128), 2, false, 0},
        {"MBR, partition type is not consulted", WrapInMbr(volume, 63, 0x83), 0, true, 63 * 512},
        {"GPT, first NTFS partition", WrapInGpt(volume, 2048), 0, true, 2048 * 512},
        {"GPT, third entry", WrapInGpt(volume, 40, 3), 0, true, 40 * 512},
        {"GPT, named third entry", WrapInGpt(volume, 40, 3), 3, true, 40 * 512},
        {"GPT, empty entry named", WrapInGpt(volume, 40, 3), 1, false, 0},
        {"MBR, second partition is the NTFS one", twoPartitions, 0, true, secondOffset},
        {"MBR, named non-NTFS partition", twoPartitions, 1, false, 0},
        {"bare volume with a partition number", volume, 1, false, 0},
    };
    for (const PartitionCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto opened = OpenImage(c.disk, c.partition);
        EXPECT_EQ(opened.volume->IsReady(), c.ready);
        if (c.ready) {
            EXPECT_EQ(opened.volume->VolumeStart(), c.volumeStart);
            CFileRecord record(opened.volume.get());
            EXPECT_TRUE(record.LoadRecord(3));
        }
    }
}

TEST(RawDevice, ReadsExactlyOrFails) {
    Bytes bytes(10000);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 13);
    }
    MemoryImage image(bytes);
    auto device = platform::RawDevice::OpenReadOnly(image.Path());
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->Size(), bytes.size());
    std::uint8_t buffer[200];
    ASSERT_TRUE(device->ReadAt(9800, buffer, 200));
    EXPECT_TRUE(std::equal(buffer, buffer + 200, bytes.begin() + 9800));
    EXPECT_FALSE(device->ReadAt(9801, buffer, 200)) << "a short read is a failure";
    EXPECT_FALSE(device->ReadAt(~0ull - 10, buffer, 20));
    EXPECT_TRUE(device->ReadAt(123, buffer, 0));
    EXPECT_EQ(platform::RawDevice::OpenReadOnly("/nonexistent"), nullptr);
    EXPECT_EQ(platform::RawDevice::OpenReadOnly("/tmp"), nullptr) << "a directory is no device";
}

} // namespace
