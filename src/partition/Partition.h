// Partition tables (MBR with its chain of extended boot records, or GPT) and the naming of
// each partition's file system.
#pragma once

#include "partition/VolumeInfo.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

class readWriteInterface;
class ProgressSink;

class Partition {
public:
    // Reads the tables and appends one VolumeInfo per partition to *ownerVolumes (in table
    // order; logical volumes where their extended partition stands). Returns 0 when it ran to
    // its end, else the errno of the read that made it stop; what was found stays.
    int scanTables(readWriteInterface& reader);

    bool isExFatAt(readWriteInterface& reader, int64_t sector);
    bool isHfsPlusAt(readWriteInterface& reader, int64_t sector);

    // The standard scan as the partition list shows it: the volumes in scan order, their
    // volumeId renumbered 0, 1, 2 ... by row. `result` gets scanTables' result.
    static std::vector<VolumeInfo> listVolumes(readWriteInterface& reader, bool gpt, ProgressSink* status = nullptr,
                                               int* result = nullptr);

    // True when sector 0 is an MBR whose only used entry is the protective 0xEE of a GPT disk.
    static bool hasProtectiveMbrOnly(readWriteInterface& reader);

    bool gptFormat = false;
    ProgressSink* statusSink = nullptr;
    std::vector<VolumeInfo>* ownerVolumes = nullptr;
    std::atomic<bool> stopRequested{false};

    // Bounds against damaged or hostile tables.
    static constexpr int kMaxExtendedLinks = 1024;
    static constexpr uint32_t kMaxGptEntries = 1024;
    // Largest sector number whose byte offset fits a signed 64-bit number.
    static constexpr int64_t kMaxSector = INT64_MAX / 512 - 1;

private:
    int scanGpt(readWriteInterface& reader, const uint8_t* header);
    int scanMbr(readWriteInterface& reader);
    int walkExtended(readWriteInterface& reader, uint32_t extendedBase);
    void addMbrVolume(readWriteInterface& reader, uint8_t type, int64_t start, uint64_t count, bool logical);
    void add(VolumeInfo v);
    void status(const std::string& text);

    int volumeNumber_ = 0;
    int ntfsCount_ = 0;
};

} // namespace velmora
