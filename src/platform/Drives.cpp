#include "platform/Drives.h"

#include "disk/readWriteInterface.h"
#include "partition/FileSystemId.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/statvfs.h>

namespace fs = std::filesystem;

namespace velmora {

namespace {

std::string readLine(const fs::path& p) {
    std::ifstream in(p);
    std::string s;
    std::getline(in, s);
    return s;
}

std::string trim(std::string s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.pop_back();
    size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
        ++i;
    return s.substr(i);
}

// Opens read-only to learn whether we may read it; the handle is closed at once.
bool probeReadable(const std::string& device, std::string& reason) {
    FileReadSeek r;
    if (r.open(device))
        return true;
    reason = r.lastError == EACCES || r.lastError == EPERM
                 ? "needs administrator rights (permission denied)"
                 : std::string(std::strerror(r.lastError));
    return false;
}

} // namespace

std::string MountedVolume::sizeText() const { return std::to_string(sizeBytes >> 20) + "  MB"; }

std::vector<PhysicalDrive> listPhysicalDrives(const std::string& sysBlock) {
    std::vector<PhysicalDrive> drives;
    std::error_code ec;
    std::vector<fs::path> entries;
    for (const auto& e : fs::directory_iterator(sysBlock, ec))
        entries.push_back(e.path());
    std::sort(entries.begin(), entries.end());
    for (const auto& dir : entries) {
        std::string name = dir.filename().string();
        if (name.starts_with("ram") || name.starts_with("zram") || name.starts_with("dm-"))
            continue;
        uint64_t sectors = 0;
        try {
            sectors = std::stoull(readLine(dir / "size"));
        } catch (...) {
            continue;
        }
        if (sectors == 0)
            continue;  // empty loop devices, card readers without a card
        PhysicalDrive d;
        d.devicePath = "/dev/" + name;
        d.sizeBytes = sectors * 512;
        std::string vendor = trim(readLine(dir / "device/vendor"));
        d.model = trim(readLine(dir / "device/model"));
        if (d.model.empty() && name.starts_with("loop"))
            d.model = trim(readLine(dir / "loop/backing_file"));
        if (d.model.empty() && !vendor.empty() && !vendor.starts_with("0x"))
            d.model = vendor;
        d.readable = probeReadable(d.devicePath, d.reason);
        drives.push_back(std::move(d));
    }
    return drives;
}

std::string unescapeMountField(const std::string& f) {
    std::string out;
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] == '\\' && i + 3 < f.size() && f[i + 1] >= '0' && f[i + 1] <= '3' && f[i + 2] >= '0' &&
            f[i + 2] <= '7' && f[i + 3] >= '0' && f[i + 3] <= '7') {
            out += char((f[i + 1] - '0') * 64 + (f[i + 2] - '0') * 8 + (f[i + 3] - '0'));
            i += 3;
        } else {
            out += f[i];
        }
    }
    return out;
}

std::string programFsName(const std::string& type, const std::string& device) {
    if (type == "ntfs" || type == "ntfs3")
        return "NTFS";
    if (type == "exfat")
        return "exFAT";
    if (type == "ext2" || type == "ext3" || type == "ext4")
        return "extX";
    if (type == "hfsplus")
        return "HFS+";
    if (type == "vfat" || type == "msdos" || type == "fuseblk") {
        FileReadSeek r;
        if (r.open(device)) {
            FileSystemId id = identifyFileSystemAt(r, 0);
            using K = FileSystemId::Kind;
            if (id.kind == K::Ntfs)
                return "NTFS";
            if (id.kind == K::ExFat)
                return "exFAT";
            if (id.kind == K::Fat12 || id.kind == K::Fat16 || id.kind == K::Fat32)
                return id.name();
        }
    }
    return type;
}

std::vector<MountedVolume> listMountedVolumes(const std::string& mountsFile) {
    std::vector<MountedVolume> volumes;
    std::ifstream in(mountsFile);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string device, mountPoint, type;
        if (!(fields >> device >> mountPoint >> type))
            continue;
        device = unescapeMountField(device);
        if (!device.starts_with("/dev/"))
            continue;  // only volumes that live on a block device can be read sector by sector
        MountedVolume v;
        v.devicePath = device;
        v.mountPoint = unescapeMountField(mountPoint);
        v.kernelType = type;
        struct statvfs st {};
        if (::statvfs(v.mountPoint.c_str(), &st) == 0)
            v.sizeBytes = uint64_t(st.f_blocks) * st.f_frsize;
        v.readable = probeReadable(device, v.reason);
        v.fsName = programFsName(type, device);
        volumes.push_back(std::move(v));
    }
    return volumes;
}

} // namespace velmora
