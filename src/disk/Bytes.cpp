#include "disk/Bytes.h"

#include <vector>

namespace velmora {

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string utf16ToUtf8(const uint16_t* u, size_t n) {
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = u[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00);
            ++i;
        }
        appendUtf8(out, c);
    }
    return out;
}

static std::string convert(Bytes b, size_t off, size_t units, bool big) {
    if (off > b.size())
        return {};
    size_t avail = (b.size() - off) / 2;
    if (units > avail)
        units = avail;
    std::vector<uint16_t> tmp(units);
    for (size_t i = 0; i < units; ++i)
        tmp[i] = big ? be16(b.data() + off + 2 * i) : le16(b.data() + off + 2 * i);
    return utf16ToUtf8(tmp.data(), tmp.size());
}

std::string utf16leToUtf8(Bytes b, size_t off, size_t units) { return convert(b, off, units, false); }
std::string utf16beToUtf8(Bytes b, size_t off, size_t units) { return convert(b, off, units, true); }

} // namespace velmora
