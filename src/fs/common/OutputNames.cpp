#include "fs/common/OutputNames.h"

#include <cstdint>
#include <cstdio>

namespace velmora::fs {

namespace {

// Length of the well-formed UTF-8 sequence at s[i], or 0 when there is none.
size_t sequenceLength(std::string_view s, size_t i) {
    auto b = [&](size_t k) { return uint8_t(s[k]); };
    uint8_t c = b(i);
    if (c < 0x80)
        return 1;
    size_t n = 0;
    uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The longest prefix of valid UTF-8 `s` that has at most `bytes` bytes and ends on a
// character boundary.
std::string_view cutAtBoundary(std::string_view s, size_t bytes) {
    if (s.size() <= bytes)
        return s;
    size_t end = bytes;
    while (end > 0 && (uint8_t(s[end]) & 0xC0) == 0x80)
        --end;
    return s.substr(0, end);
}

// Position of the extension's dot, or npos. Extensions are short and never the whole name.
size_t extensionDot(std::string_view name) {
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name.size() - dot > 16)
        return std::string_view::npos;
    return dot;
}

std::string fitWithExtension(std::string_view stem, std::string_view tail) {
    if (stem.size() + tail.size() <= kMaxNameBytes)
        return std::string(stem) + std::string(tail);
    size_t room = tail.size() < kMaxNameBytes ? kMaxNameBytes - tail.size() : 0;
    std::string out(cutAtBoundary(stem, room));
    if (out.empty())
        return std::string(cutAtBoundary(std::string(stem) + std::string(tail), kMaxNameBytes));
    return out + std::string(tail);
}

} // namespace

std::string validUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        size_t n = sequenceLength(s, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(s.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string trimWhitespace(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && isSpace(s[b]))
        ++b;
    while (e > b && isSpace(s[e - 1]))
        --e;
    return std::string(s.substr(b, e - b));
}

std::string safeName(std::string_view name) {
    std::string out = validUtf8(name);
    for (char& c : out)
        if (c == '/' || c == '\0')
            c = '_';
    if (out.empty())
        return "_";
    if (out == "." || out == "..")
        return "_" + out;
    if (out.size() > kMaxNameBytes) {
        size_t dot = extensionDot(out);
        if (dot == std::string::npos)
            out = std::string(cutAtBoundary(out, kMaxNameBytes));
        else
            out = fitWithExtension(std::string_view(out).substr(0, dot), std::string_view(out).substr(dot));
    }
    return out;
}

std::string listedName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        auto b = uint8_t(c);
        if (b < 0x20 || b == 0x7F || c == '/') {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", b);
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

std::string numberedName(const std::string& name, unsigned n) {
    std::string tag = " (" + std::to_string(n) + ")";
    size_t dot = extensionDot(name);
    std::string_view stem = std::string_view(name).substr(0, dot == std::string::npos ? name.size() : dot);
    std::string_view ext = dot == std::string::npos ? std::string_view() : std::string_view(name).substr(dot);
    return fitWithExtension(stem, tag + std::string(ext));
}

} // namespace velmora::fs
