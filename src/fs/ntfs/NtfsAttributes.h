// The attributes inside an MFT record and the contents that the parser reads: file name,
// standard information and attribute list entries.
#pragma once

#include "disk/Bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora::ntfsfmt {

constexpr uint32_t kAttrStandardInformation = 0x10;
constexpr uint32_t kAttrAttributeList = 0x20;
constexpr uint32_t kAttrFileName = 0x30;
constexpr uint32_t kAttrData = 0x80;
constexpr uint32_t kAttrEnd = 0xFFFFFFFF;

constexpr uint16_t kAttrFlagCompressed = 0x0001;
constexpr uint16_t kAttrFlagCompressionMask = 0x00FF;
constexpr uint16_t kAttrFlagEncrypted = 0x4000;
constexpr uint16_t kAttrFlagSparse = 0x8000;

constexpr uint32_t kFileNameDirectoryFlag = 0x10000000;
constexpr uint8_t kNameSpaceDos = 2;

struct Attribute {
    uint32_t offset = 0;        // within the record
    uint32_t type = 0;
    uint32_t length = 0;
    bool nonResident = false;
    uint8_t nameLength = 0;     // UTF-16 units; 0 for the unnamed attribute
    uint16_t flags = 0;
    uint16_t id = 0;
    // Resident: where the content lies within the record; valid only when contentInside.
    uint32_t contentOffset = 0; // from the record start
    uint32_t contentLength = 0;
    bool contentInside = false;
    // Non-resident.
    uint64_t firstVcn = 0, lastVcn = 0;
    uint32_t runListOffset = 0; // from the record start; valid when runListInside
    uint32_t runListLength = 0;
    bool runListInside = false;
    uint16_t unitShift = 0;
    uint64_t allocatedSize = 0, realSize = 0, initializedSize = 0;

    Bytes content(Bytes record) const {
        return contentInside ? record.subspan(contentOffset, contentLength) : Bytes();
    }
    Bytes runList(Bytes record) const {
        return runListInside ? record.subspan(runListOffset, runListLength) : Bytes();
    }
};

// The attributes from the header's first-attribute offset to the end marker. Stops at an
// attribute whose length is too small or reaches past the record; fields that would lie
// outside their attribute are left out (content/run list marked as not inside).
std::vector<Attribute> collectAttributes(Bytes record);

struct FileName {
    uint64_t parentReference = 0;
    uint64_t allocatedSize = 0;
    uint64_t realSize = 0;
    uint32_t flags = 0;
    uint8_t nameLength = 0;
    uint8_t nameSpace = 0;
    std::string name;           // UTF-8
};

// nullopt when the content is too short for its own name.
std::optional<FileName> decodeFileName(Bytes content);

struct StandardInformation {
    uint64_t creation = 0, modification = 0, change = 0, access = 0;
    uint32_t fileAttributes = 0;
};

std::optional<StandardInformation> decodeStandardInformation(Bytes content);

struct AttributeListEntry {
    uint32_t type = 0;
    uint16_t length = 0;
    uint8_t nameLength = 0;
    uint64_t startVcn = 0;
    uint64_t reference = 0;     // record holding the attribute (with sequence number)
    uint16_t id = 0;
};

// Entries until the end of the bytes, a zero type or length, or an entry reaching past the end.
std::vector<AttributeListEntry> decodeAttributeList(Bytes content);

} // namespace velmora::ntfsfmt
