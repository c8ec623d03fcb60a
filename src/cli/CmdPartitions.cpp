#include "cli/Cli.h"

#include "disk/readWriteInterface.h"
#include "host/Host.h"
#include "partition/Partition.h"

#include <cstring>
#include <iostream>

namespace velmora::cli {

namespace {

const char* kHelp =
    "usage: velmora-cli partitions SOURCE [--gpt] [--json]\n"
    "Lists the partitions of a disk, disk image or block device (opened read-only):\n"
    "VOLUME, FILE_SYSTEM, VOLUME_SIZE and START_SECTOR, tab-separated, or one JSON object\n"
    "per partition with --json. --gpt reads the GPT; without it the MBR and its extended\n"
    "boot records are read, and a disk whose MBR only protects a GPT is read as GPT.\n";

} // namespace

int cmdPartitions(const Args& args) {
    if (wantsHelp(args)) {
        std::cout << kHelp;
        return kOk;
    }
    std::string source;
    bool gpt = false, json = false;
    for (const auto& a : args) {
        if (a == "--gpt")
            gpt = true;
        else if (a == "--json")
            json = true;
        else if (!a.empty() && a[0] == '-')
            return usageError("partitions: unknown option '" + a + "'");
        else if (source.empty())
            source = a;
        else
            return usageError("partitions: more than one SOURCE given");
    }
    if (source.empty())
        return usageError("partitions: SOURCE is missing");

    FileReadSeek reader;
    if (!reader.open(source)) {
        error("cannot open " + source + ": " + std::strerror(reader.lastError));
        return kSourceError;
    }
    uint8_t probe[512];
    if (!reader.readAt(0, probe, sizeof probe)) {
        error("cannot read " + source + ": " + std::strerror(reader.lastError ? reader.lastError : EIO));
        return kSourceError;
    }
    if (!gpt && Partition::hasProtectiveMbrOnly(reader)) {
        std::cerr << "velmora-cli: the MBR only protects a GPT; reading the GPT\n";
        gpt = true;
    }
    int rc = 0;
    std::vector<VolumeInfo> volumes = Partition::listVolumes(reader, gpt, nullptr, &rc);
    if (!json)
        std::cout << "VOLUME\tFILE_SYSTEM\tVOLUME_SIZE\tSTART_SECTOR\n";
    for (const auto& v : volumes) {
        if (json)
            std::cout << "{\"volume\":" << v.volumeId << ",\"fileSystem\":" << jsonString(v.fsName)
                      << ",\"size\":" << jsonString(v.sizeText) << ",\"startSector\":" << v.startSector << "}\n";
        else
            std::cout << v.volumeId << "\t" << v.fsName << "\t" << v.sizeText << "\t" << v.startSector << "\n";
    }
    if (rc != 0)
        std::cerr << "velmora-cli: the table scan stopped early: " << std::strerror(rc) << "\n";
    return kOk;
}

} // namespace velmora::cli
