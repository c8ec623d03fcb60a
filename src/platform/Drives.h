// What the machine offers to recover from: whole-disk block devices and mounted volumes.
// Everything is opened read-only, also here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

struct PhysicalDrive {
    std::string devicePath;  // /dev/sda
    std::string model;       // from sysfs; empty when the device reports none
    uint64_t sizeBytes = 0;
    bool readable = false;   // could be opened read-only by this process
    std::string reason;      // why not, when not readable

    // The drive list's text: the model, else the device path.
    std::string displayName() const { return model.empty() ? devicePath : model; }
};

struct MountedVolume {
    std::string mountPoint;  // root path
    std::string devicePath;
    std::string kernelType;  // as /proc/self/mounts says: ntfs3, vfat, fuseblk ...
    std::string fsName;      // the name the rest of the program understands: NTFS, FAT32, exFAT, extX, HFS+ ...
    uint64_t sizeBytes = 0;
    bool readable = false;
    std::string reason;

    std::string sizeText() const;  // "%d  MB"
};

// Whole disks from /sys/block (no partitions, no RAM disks, no empty loop devices).
std::vector<PhysicalDrive> listPhysicalDrives(const std::string& sysBlock = "/sys/block");

// Volumes mounted from block devices, from a mounts table in /proc/self/mounts format.
std::vector<MountedVolume> listMountedVolumes(const std::string& mountsFile = "/proc/self/mounts");

// Maps a kernel file-system type to the program's name, looking at the device's boot sector
// where the type alone does not say (vfat: FAT12/16/32; fuseblk: NTFS or exFAT).
std::string programFsName(const std::string& kernelType, const std::string& devicePath);

// Decodes the octal escapes (\040 for a blank) of a mounts-table field.
std::string unescapeMountField(const std::string& field);

} // namespace velmora
