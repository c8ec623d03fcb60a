// The wizard state that lives for the whole process: the one sector reader and the values
// that several pages and the parsers read. Page-owned hand-over values live in the pages.
#pragma once

#include "disk/readWriteInterface.h"

#include <cstdint>
#include <memory>
#include <string>

namespace velmora {

struct ScanSession {
    // The one sector reader; replaced, never reopened. Null at start.
    std::unique_ptr<readWriteInterface> reader;
    // Sector count of the opened device (0 after the reader is discarded for a standard scan).
    int64_t totalSectors = 0;
    // Dialog id of the page that began the current path; 130 means the reader must be
    // renewed and opened on the chosen drive.
    int32_t previousPageId = 0;
    // The chosen entry is a mounted volume rather than a physical drive.
    bool isVolume = false;
    // The user says the FAT volume was reformatted.
    bool driveFormatted = false;
    // Current search text.
    std::string searchPattern;
    // Text of a result tree's top item.
    std::string rootLabel = "ROOT";
};

} // namespace velmora
