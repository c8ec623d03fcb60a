// LZNT1, the compression of NTFS compression units: 4096-byte chunks, each stored as is or
// as a stream of literals and back references.
#pragma once

#include "disk/Bytes.h"

#include <cstddef>
#include <cstdint>

namespace velmora {

constexpr size_t kLznt1ChunkBytes = 4096;

// Decompresses `input` into `output` (up to `capacity` bytes) and returns the bytes
// produced. A chunk that decodes to less than 4096 bytes is padded with zeros when another
// chunk follows. On a malformed stream decoding stops, `*ok` becomes false and what was
// produced so far is returned.
size_t lznt1Decompress(Bytes input, uint8_t* output, size_t capacity, bool* ok = nullptr);

} // namespace velmora
