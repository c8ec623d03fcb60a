#include "platform/Drives.h"
#include "Fixtures.h"

#include <fstream>
#include <gtest/gtest.h>

using namespace velmora;

TEST(MountedVolumes, ReadsTheMountsTableAndMapsNames) {
    VELMORA_REQUIRE_FIXTURE(disk, "mbr-disk.img");
    test::TempDir tmp;
    // Carve the FAT12 partition out of the disk as a stand-alone "device".
    auto fat12 = tmp.path() / "fat12.vol";
    ASSERT_EQ(test::run("dd if='" + disk.string() + "' of='" + fat12.string() +
                        "' bs=512 skip=221184 count=8192 status=none"),
              0);
    auto mounts = tmp.path() / "mounts";
    std::ofstream(mounts) << "proc /proc proc rw 0 0\n"
                          << "/dev/sdz1 /media/My\\040Disk ntfs3 rw 0 0\n"
                          << "/dev/sdz2 /boot ext4 rw 0 0\n"
                          << "/dev/sdz3 /mnt/x hfsplus ro 0 0\n"
                          << "/dev/sdz4 /mnt/y exfat rw 0 0\n"
                          << "/dev/sdz5 /mnt/z btrfs rw 0 0\n";
    auto v = listMountedVolumes(mounts.string());
    ASSERT_EQ(v.size(), 5u);  // proc is not on a block device
    EXPECT_EQ(v[0].mountPoint, "/media/My Disk");
    std::vector<std::string> names;
    for (auto& x : v)
        names.push_back(x.fsName);
    EXPECT_EQ(names, (std::vector<std::string>{"NTFS", "extX", "HFS+", "exFAT", "btrfs"}));
    EXPECT_FALSE(v[0].readable);  // no such device: listed, with a reason
    EXPECT_FALSE(v[0].reason.empty());
    // vfat and fuseblk are told apart by the boot sector.
    EXPECT_EQ(programFsName("vfat", fat12.string()), "FAT12");
    EXPECT_EQ(programFsName("vfat", "/nonexistent"), "vfat");
}

TEST(PhysicalDrives, ReadsSysBlockAndSkipsWhatIsNoDisk) {
    test::TempDir tmp;
    auto mk = [&](const std::string& name, const std::string& size, const std::string& model) {
        auto d = tmp.path() / name;
        std::filesystem::create_directories(d / "device");
        std::ofstream(d / "size") << size << "\n";
        if (!model.empty())
            std::ofstream(d / "device/model") << model << "\n";
    };
    mk("sdb", "1000", "WDC WD5000AAKX  ");   // padded model name
    mk("ram0", "8192", "");
    mk("loop3", "0", "");                  // an unused loop device
    mk("nvme0n1", "2048", "");
    auto d = listPhysicalDrives(tmp.path().string());
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].devicePath, "/dev/nvme0n1");
    EXPECT_EQ(d[0].displayName(), "/dev/nvme0n1");
    EXPECT_EQ(d[1].displayName(), "WDC WD5000AAKX");
    EXPECT_EQ(d[1].sizeBytes, 512000u);
}

TEST(MountedVolumes, SizeTextIsWholeMegabytesWithTwoBlanks) {
    MountedVolume v;
    v.sizeBytes = 500ull * 1000 * 1000 * 1000;
    EXPECT_EQ(v.sizeText(), "476837  MB");
}
