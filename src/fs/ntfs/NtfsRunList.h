// Run lists ("mapping pairs") of non-resident attributes.
#pragma once

#include "disk/Bytes.h"

#include <cstdint>
#include <vector>

namespace velmora {

// One run of a non-resident attribute.
struct NtfsRun {
    int64_t lcn = 0;      // first cluster on the volume; 0 for a sparse run
    uint64_t count = 0;   // clusters
    bool sparse = false;  // no clusters on disk: reads as zeros
    uint64_t vcn = 0;     // first virtual cluster of the run within the attribute
};

// Decodes a run list. Header byte h: h & 0x0F bytes of length, h >> 4 bytes of signed
// offset (none: a sparse run). Fields are read whole up to 8 bytes; a longer field, a field
// past the end, an overflowing cluster number or a zero header ends the list. A run is kept
// only while the clusters so far stay within `limit` (the attribute's virtual cluster range)
// and its length is not 0. Runs are numbered from `firstVcn`.
std::vector<NtfsRun> decodeRunList(Bytes bytes, uint64_t limit, uint64_t firstVcn = 0);

} // namespace velmora
