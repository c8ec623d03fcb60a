// One MFT record: its header and the update-sequence fix-ups that restore the last two bytes
// of every 512-byte stride.
#pragma once

#include "disk/Bytes.h"

#include <cstdint>
#include <span>
#include <vector>

namespace velmora::ntfsfmt {

constexpr uint16_t kRecordInUse = 0x0001;
constexpr uint16_t kRecordDirectory = 0x0002;

struct RecordHeader {
    bool isFile = false;        // signature "FILE"
    uint16_t usaOffset = 0;
    uint16_t usaCount = 0;      // entries including the sequence word itself
    uint16_t sequence = 0;
    uint16_t firstAttribute = 0;
    uint16_t flags = 0;
    uint32_t usedBytes = 0;
    uint64_t baseReference = 0; // 0 for a base record
    bool hasRecordNumber = false;
    uint32_t recordNumber = 0;
};

RecordHeader decodeRecordHeader(Bytes record);

// Puts back the saved words at the end of each 512-byte stride. Words whose position or
// source would lie outside the record are left alone; the sequence number is not compared,
// so a torn record is accepted as it is.
void applyFixupsInPlace(std::span<uint8_t> record);
std::vector<uint8_t> applyFixups(Bytes record);

// Low 48 bits of a file reference: the record number.
inline uint64_t referenceRecord(uint64_t reference) { return reference & 0x0000FFFFFFFFFFFFULL; }
inline uint16_t referenceSequence(uint64_t reference) { return uint16_t(reference >> 48); }

} // namespace velmora::ntfsfmt
