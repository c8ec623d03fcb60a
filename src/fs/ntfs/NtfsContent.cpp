// Writing a file's content: resident data, clusters from the run list (sparse parts as
// holes), LZNT1 compression units, and data spread over extension records.
#include "fs/common/OutputNames.h"
#include "fs/ntfs/Lznt1.h"
#include "fs/ntfs/ntfs.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace velmora {

using namespace ntfsfmt;

namespace {

constexpr uint64_t kWritePieceBytes = 1u << 20;
// Larger compression units than this are not NTFS's; such data is written as stored.
constexpr uint64_t kMaxUnitBytes = 64u << 20;

std::string formatName(const char* fmt, const std::string& value) {
    char buf[1024];
    std::snprintf(buf, sizeof buf, fmt, value.c_str());
    return buf;
}

} // namespace

void ntfs::readClusters(int64_t lcn, uint64_t count, uint8_t* buf, fs::SaveOutcome& result) {
    const uint64_t bytes = count * clusterBytes;
    std::memset(buf, 0, bytes);
    const uint64_t clusters = volumeClusters();
    if (lcn < 0 || uint64_t(lcn) >= clusters) {
        result.unreadableBytes += bytes;
        return;
    }
    uint64_t inside = std::min<uint64_t>(count, clusters - uint64_t(lcn));
    result.unreadableBytes += (count - inside) * clusterBytes;
    if (readVolume(uint64_t(lcn) * clusterBytes, buf, inside * clusterBytes))
        return;
    // One cluster at a time, so that only what cannot be read is left as zeros.
    for (uint64_t k = 0; k < inside; ++k) {
        uint8_t* at = buf + k * clusterBytes;
        std::memset(at, 0, clusterBytes);
        int64_t c = lcn + int64_t(k);
        if (c < 0 || uint64_t(c) >= clusters || !readVolume(uint64_t(c) * clusterBytes, at, clusterBytes)) {
            std::memset(at, 0, clusterBytes);
            result.unreadableBytes += clusterBytes;
        }
    }
}

bool ntfs::writeRuns(int fd, const NtfsDataStream& s, fs::SaveOutcome& result) {
    const uint64_t valid = std::min(s.initializedSize, s.realSize);
    const uint64_t piece = std::max<uint64_t>(clusterBytes, kWritePieceBytes - kWritePieceBytes % clusterBytes);
    std::vector<uint8_t> buf(piece);
    for (const NtfsRun& run : s.runs) {
        if (stopRequested) {
            result.error = "stopped";
            return false;
        }
        uint64_t start = 0, runBytes = 0;
        if (__builtin_mul_overflow(run.vcn, clusterBytes, &start) || start >= valid)
            break;
        if (run.sparse)
            continue;  // a hole: zeros without writing them
        // Clusters past the end of the volume cannot hold data: such a run is cut there and
        // the rest stays a hole (zeros).
        uint64_t count = run.count;
        const uint64_t volumeEnd = volumeClusters();
        if (run.lcn < 0 || uint64_t(run.lcn) >= volumeEnd)
            count = 0;
        else
            count = std::min<uint64_t>(count, volumeEnd - uint64_t(run.lcn));
        if (count < run.count)
            result.unreadableBytes += (run.count - count) * clusterBytes;
        runBytes = count * clusterBytes;
        runBytes = std::min(runBytes, valid - start);
        for (uint64_t done = 0; done < runBytes;) {
            uint64_t n = std::min(piece, runBytes - done);
            uint64_t clusters = (n + clusterBytes - 1) / clusterBytes;
            readClusters(run.lcn + int64_t(done / clusterBytes), clusters, buf.data(), result);
            if (!fs::writeAllAt(fd, buf.data(), n, start + done)) {
                result.error = std::string("write failed: ") + std::strerror(errno);
                return false;
            }
            done += n;
            gate();
        }
    }
    return true;
}

bool ntfs::writeCompressed(int fd, const NtfsDataStream& s, fs::SaveOutcome& result) {
    const uint64_t cu = uint64_t(1) << s.unitShift;
    const uint64_t unitBytes = cu * clusterBytes;
    if (unitBytes > kMaxUnitBytes)
        return writeRuns(fd, s, result);
    const uint64_t size = s.realSize;
    const uint64_t valid = std::min(s.initializedSize, size);
    const uint64_t units = (size + unitBytes - 1) / unitBytes;
    std::vector<uint8_t> in(unitBytes), out(unitBytes);
    std::vector<int64_t> lcns(cu);
    size_t cursor = 0;
    for (uint64_t u = 0; u < units; ++u) {
        if (stopRequested) {
            result.error = "stopped";
            return false;
        }
        const uint64_t unitStart = u * unitBytes;
        if (unitStart >= valid)
            break;
        const uint64_t uv = u * cu;
        std::fill(lcns.begin(), lcns.end(), -1);
        while (cursor < s.runs.size() && (s.runs[cursor].vcn + s.runs[cursor].count <= uv || s.runs[cursor].sparse))
            ++cursor;
        if (cursor == s.runs.size())
            break;  // nothing but holes from here on
        if (s.runs[cursor].vcn >= uv + cu) {
            // Jump over sparse units at once rather than unit by unit.
            u = s.runs[cursor].vcn / cu - 1;
            continue;
        }
        for (size_t r = cursor; r < s.runs.size() && s.runs[r].vcn < uv + cu; ++r) {
            const NtfsRun& run = s.runs[r];
            if (run.sparse)
                continue;
            uint64_t from = std::max(run.vcn, uv), to = std::min(run.vcn + run.count, uv + cu);
            for (uint64_t v = from; v < to; ++v)
                lcns[v - uv] = run.lcn + int64_t(v - run.vcn);
        }
        uint64_t stored = 0;  // clusters up to the last one on disk
        for (uint64_t k = cu; k > 0; --k)
            if (lcns[k - 1] >= 0) {
                stored = k;
                break;
            }
        if (stored == 0)
            continue;  // a sparse unit: zeros
        std::fill(in.begin(), in.end(), 0);
        for (uint64_t k = 0; k < stored;) {
            if (lcns[k] < 0) {
                ++k;
                continue;
            }
            uint64_t m = k + 1;
            while (m < stored && lcns[m] == lcns[m - 1] + 1)
                ++m;
            readClusters(lcns[k], m - k, in.data() + k * clusterBytes, result);
            k = m;
        }
        const uint8_t* data = in.data();
        uint64_t produced = unitBytes;
        if (stored < cu) {
            produced = lznt1Decompress(Bytes(in.data(), stored * clusterBytes), out.data(), out.size());
            data = out.data();
        }
        uint64_t n = std::min(produced, valid - unitStart);
        if (n && !fs::writeAllAt(fd, data, n, unitStart)) {
            result.error = std::string("write failed: ") + std::strerror(errno);
            return false;
        }
        gate();
    }
    return true;
}

fs::SaveOutcome ntfs::saveTo(int fd, int64_t position) {
    fs::SaveOutcome result;
    try {
        if (!readHeader(position)) {
            message("not a valid entry...");
            result.error = "not a valid entry";
            return result;
        }
        const NtfsEntry& e = entries[size_t(position)];
        if (e.kind == 'D') {
            message(formatName("This is  %s directory .Please specify file names ", fs::trimWhitespace(e.name)));
            result.error = "a directory";
            return result;
        }
        NtfsDataStream s = dataStream(position);
        bool ok = true;
        result.unreadableBytes += s.outsideBytes;
        if (s.present) {
            if (s.resident) {
                if (!s.residentContent.empty() &&
                    !fs::writeAllAt(fd, s.residentContent.data(), s.residentContent.size(), 0)) {
                    result.error = std::string("write failed: ") + std::strerror(errno);
                    ok = false;
                }
            } else if (s.compressed()) {
                ok = writeCompressed(fd, s, result);
            } else {
                // Encrypted data is written as stored.
                ok = writeRuns(fd, s, result);
            }
            if (ok && ::ftruncate(fd, off_t(s.realSize)) != 0) {
                result.error = std::string("cannot set the size: ") + std::strerror(errno);
                ok = false;
            }
        }
        if (!ok)
            return result;
        result.bytes = s.present ? s.realSize : 0;
        NtfsEntryDetails t = entryDetails(position);
        fs::setFileTimes(fd, fs::fromFileTime(t.access), fs::fromFileTime(t.modification));
        result.ok = true;
    } catch (const std::exception& ex) {
        message(formatName("Exception :  %s   ", ex.what()));
        result.ok = false;
        result.error = ex.what();
    }
    return result;
}

fs::SaveOutcome ntfs::saveFile(const std::filesystem::path& outputFile, int64_t position) {
    int fd = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        fs::SaveOutcome r;
        r.error = "cannot create " + outputFile.string() + ": " + std::strerror(errno);
        return r;
    }
    fs::SaveOutcome r = saveTo(fd, position);
    if (::close(fd) != 0 && r.ok) {
        r.ok = false;
        r.error = "cannot close " + outputFile.string();
    }
    return r;
}

void ntfs::saveFile(const std::string& positionText) {
    char* end = nullptr;
    long long position = std::strtoll(positionText.c_str(), &end, 10);
    if (position < 0 || position >= (long long)entries.size())
        return;
    std::string name = fs::trimWhitespace(entries[size_t(position)].name);
    size_t keep = outputPath.size();
    while (keep > 0 && (outputPath[keep - 1] == ' ' || outputPath[keep - 1] == '\t'))
        --keep;
    outputPath.resize(keep);
    if (name.empty())
        return;
    outputPath += fs::safeName(name);
    saveFile(std::filesystem::path(outputPath), int64_t(position));
}

} // namespace velmora
