#include "cli/Cli.h"

#include "platform/Drives.h"

#include <iostream>

namespace velmora::cli {

int cmdDrives(const Args& args) {
    bool json = false;
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            std::cout << "usage: velmora-cli drives [--json]\n"
                         "Lists the physical drives (whole disks, with their model names) and the mounted\n"
                         "volumes (mount point, device, file system, size in MB). Each is opened\n"
                         "read-only to see whether it can be read; one that cannot is listed with the reason.\n";
            return kOk;
        }
        if (a == "--json")
            json = true;
        else
            return usageError("drives: unknown argument '" + a + "'");
    }
    auto drives = listPhysicalDrives();
    auto volumes = listMountedVolumes();
    if (json) {
        for (const auto& d : drives)
            std::cout << "{\"kind\":\"drive\",\"device\":" << jsonString(d.devicePath)
                      << ",\"model\":" << jsonString(d.model) << ",\"sizeBytes\":" << d.sizeBytes
                      << ",\"readable\":" << (d.readable ? "true" : "false")
                      << (d.readable ? "" : ",\"reason\":" + jsonString(d.reason)) << "}\n";
        for (const auto& v : volumes)
            std::cout << "{\"kind\":\"volume\",\"mountPoint\":" << jsonString(v.mountPoint)
                      << ",\"device\":" << jsonString(v.devicePath) << ",\"fileSystem\":" << jsonString(v.fsName)
                      << ",\"sizeMB\":" << (v.sizeBytes >> 20) << ",\"readable\":" << (v.readable ? "true" : "false")
                      << (v.readable ? "" : ",\"reason\":" + jsonString(v.reason)) << "}\n";
        return kOk;
    }
    std::cout << "PHYSICAL DRIVES:\n";
    for (const auto& d : drives)
        std::cout << "  " << d.devicePath << "\t" << d.displayName() << "\t" << (d.sizeBytes >> 20) << "  MB"
                  << (d.readable ? "" : "\t(cannot open: " + d.reason + ")") << "\n";
    std::cout << "VOLUMES:\n";
    for (const auto& v : volumes)
        std::cout << "  " << v.mountPoint << "\t" << v.devicePath << "\t" << v.fsName << "\t" << v.sizeText()
                  << (v.readable ? "" : "\t(cannot open: " + v.reason + ")") << "\n";
    return kOk;
}

} // namespace velmora::cli
