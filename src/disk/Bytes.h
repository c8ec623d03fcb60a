// Explicit little- and big-endian loaders over byte spans. Callers check sizes first; the
// checked variants return 0 past the end so a bad offset can never read out of bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace velmora {

using Bytes = std::span<const uint8_t>;

inline uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t le64(const uint8_t* p) { return uint64_t(le32(p)) | (uint64_t(le32(p + 4)) << 32); }
inline uint16_t be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint64_t be64(const uint8_t* p) { return (uint64_t(be32(p)) << 32) | be32(p + 4); }

// Bounds-checked forms: 0 when [off, off + width) is not inside the span.
inline bool fits(Bytes b, size_t off, size_t width) { return off <= b.size() && width <= b.size() - off; }
inline uint8_t u8(Bytes b, size_t off) { return off < b.size() ? b[off] : 0; }
inline uint16_t le16(Bytes b, size_t off) { return fits(b, off, 2) ? le16(b.data() + off) : 0; }
inline uint32_t le32(Bytes b, size_t off) { return fits(b, off, 4) ? le32(b.data() + off) : 0; }
inline uint64_t le64(Bytes b, size_t off) { return fits(b, off, 8) ? le64(b.data() + off) : 0; }
inline uint16_t be16(Bytes b, size_t off) { return fits(b, off, 2) ? be16(b.data() + off) : 0; }
inline uint32_t be32(Bytes b, size_t off) { return fits(b, off, 4) ? be32(b.data() + off) : 0; }
inline uint64_t be64(Bytes b, size_t off) { return fits(b, off, 8) ? be64(b.data() + off) : 0; }

inline bool bytesEqual(Bytes b, size_t off, const char* text) {
    size_t n = std::strlen(text);
    return fits(b, off, n) && std::memcmp(b.data() + off, text, n) == 0;
}

// UTF-16 (little- or big-endian) code units to UTF-8; unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(const uint16_t* units, size_t count);
std::string utf16leToUtf8(Bytes b, size_t off, size_t units);
std::string utf16beToUtf8(Bytes b, size_t off, size_t units);
void appendUtf8(std::string& out, uint32_t codePoint);

} // namespace velmora
