#include "NtfsTestSupport.h"

#include "Fixtures.h"
#include "fs/common/OutputNames.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace velmora::test {

namespace {

class Sha256 {
public:
    void update(const uint8_t* p, size_t n) {
        total_ += n;
        while (n) {
            size_t k = std::min(n, size_t(64) - fill_);
            std::copy(p, p + k, buf_.begin() + fill_);
            fill_ += k;
            p += k;
            n -= k;
            if (fill_ == 64) {
                block(buf_.data());
                fill_ = 0;
            }
        }
    }
    std::string hex() {
        uint64_t bits = total_ * 8;
        uint8_t pad = 0x80;
        update(&pad, 1);
        uint8_t zero = 0;
        while (fill_ != 56)
            update(&zero, 1);
        uint8_t len[8];
        for (int i = 0; i < 8; ++i)
            len[i] = uint8_t(bits >> (56 - 8 * i));
        update(len, 8);
        std::string out;
        char b[9];
        for (uint32_t v : h_) {
            std::snprintf(b, sizeof b, "%08x", v);
            out += b;
        }
        return out;
    }

private:
    static uint32_t rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
    void block(const uint8_t* p) {
        static const uint32_t k[64] = {
            0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
            0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
            0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
            0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
            0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
            0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
            0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
            0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 | uint32_t(p[4 * i + 2]) << 8 | p[4 * i + 3];
        for (int i = 16; i < 64; ++i) {
            uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6], h = h_[7];
        for (int i = 0; i < 64; ++i) {
            uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
            uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        h_[0] += a;
        h_[1] += b;
        h_[2] += c;
        h_[3] += d;
        h_[4] += e;
        h_[5] += f;
        h_[6] += g;
        h_[7] += h;
    }
    std::array<uint32_t, 8> h_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                               0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<uint8_t, 64> buf_{};
    size_t fill_ = 0;
    uint64_t total_ = 0;
};

} // namespace

std::string sha256Bytes(const uint8_t* data, size_t size) {
    Sha256 s;
    s.update(data, size);
    return s.hex();
}

std::string sha256File(const std::filesystem::path& file) {
    std::error_code ec;
    if (std::filesystem::file_size(file, ec) > (256u << 20) && !ec) {
        // Gigabytes of (mostly sparse) zeros: the optimised hash of the Python library is
        // many times faster than this one.
        std::string out;
        std::string cmd = "python3 -c 'import hashlib,sys\nh=hashlib.sha256()\nf=open(sys.argv[1],\"rb\")\n"
                          "while True:\n b=f.read(16<<20)\n if not b: break\n h.update(b)\nprint(h.hexdigest())' '" +
                          file.string() + "'";
        if (run(cmd, &out) == 0 && out.size() >= 64)
            return out.substr(0, 64);
    }
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return "";
    Sha256 s;
    std::vector<char> buf(1 << 20);
    while (in) {
        in.read(buf.data(), std::streamsize(buf.size()));
        s.update(reinterpret_cast<const uint8_t*>(buf.data()), size_t(in.gcount()));
    }
    return s.hex();
}

std::vector<ManifestRow> readManifest(const std::filesystem::path& file) {
    std::vector<ManifestRow> rows;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string part;
        while (std::getline(ss, part, '\t'))
            f.push_back(part);
        if (f.size() < 5)
            continue;
        ManifestRow r;
        r.path = f[0];
        r.sha256 = f[1];
        r.size = std::stoull(f[2]);
        r.mtimeNs = std::stoll(f[3]);
        r.deleted = f[4] == "deleted";
        rows.push_back(r);
    }
    return rows;
}

std::string recoveredPath(const std::string& volumePath) {
    std::string out, cur;
    auto flush = [&] {
        if (!out.empty())
            out += '/';
        out += fs::safeName(fs::trimWhitespace(cur));
        cur.clear();
    };
    for (char c : volumePath) {
        if (c == '/')
            flush();
        else
            cur += c;
    }
    flush();
    return out;
}

std::map<std::string, fs::WalkItem> listing(fs::VolumeParser& parser) {
    std::map<std::string, fs::WalkItem> out;
    fs::walkTree(parser, [&](const fs::WalkItem& w) {
        out[fs::joinPath(w.path)] = w;
        return true;
    });
    return out;
}

} // namespace velmora::test
