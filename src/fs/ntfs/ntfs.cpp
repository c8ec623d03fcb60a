// Boot sector, MFT location and the walk over the MFT's runs.
#include "fs/ntfs/ntfs.h"
#include "fs/ntfs/NtfsBootSector.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velmora {

using namespace ntfsfmt;

namespace {

// MFT records are read this many bytes at a time.
constexpr uint64_t kMftPieceBytes = 4u << 20;

std::string format(const char* fmt, long long value) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, value);
    return buf;
}

// Leading decimal number of a size text such as "512   MB".
int64_t leadingNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    int64_t v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (v > (INT64_MAX - 9) / 10)
            break;
        v = v * 10 + (text[i++] - '0');
    }
    return negative ? -v : v;
}

} // namespace

ntfs::ntfs(readWriteInterface* r) : reader(r) {}
ntfs::~ntfs() = default;

void ntfs::gate() {
    if (pauseGate)
        pauseGate->wait(&stopRequested);
}

void ntfs::setRange(int64_t low, int64_t high) {
    if (progress)
        progress->setRange(low, high);
    gate();
}

void ntfs::setPosition(int64_t position) {
    if (progress)
        progress->setPosition(position);
    gate();
}

void ntfs::setStatus(const std::string& text) {
    if (progress)
        progress->setStatus(text);
}

void ntfs::message(const std::string& text) {
    if (dialogs)
        dialogs->showMessage(text, UserDialogs::Icon::Information);
}

bool ntfs::readVolume(uint64_t offset, void* buffer, size_t bytes) {
    if (!reader || bytes == 0 || bytes > UINT32_MAX)
        return false;
    if (volumeBytes && (offset >= volumeBytes || bytes > volumeBytes - offset))
        return false;
    if (offset > uint64_t(INT64_MAX))
        return false;
    return reader->readAt(int64_t(offset), buffer, uint32_t(bytes));
}

uint64_t ntfs::volumeClusters() const { return clusterBytes ? volumeBytes / clusterBytes : 0; }

bool ntfs::readBootSector() {
    bootSector.assign(512, 0);
    if (reader)
        reader->readAt(0, bootSector.data(), 512);
    BootSector b = decodeBootSector(bootSector);
    if (b.valid) {
        // Sectors of the size the boot sector states; 512 unless that is a sane other size.
        uint64_t sector = b.bytesPerSector >= 256 && b.bytesPerSector <= 4096 &&
                                  (b.bytesPerSector & (b.bytesPerSector - 1)) == 0
                              ? b.bytesPerSector
                              : 512;
        volumeBytes = b.totalSectors <= UINT64_MAX / sector ? b.totalSectors * sector : 0;
    } else {
        int64_t mb = leadingNumber(volume.sizeText);
        volumeBytes = mb > 0 ? uint64_t(mb) * 1048576ULL : 0;
    }
    // Without a size of its own the volume reaches to the end of the medium, and it never
    // reaches beyond it (a damaged size must not make every later bound meaningless).
    if (reader && reader->length > uint64_t(std::max<int64_t>(reader->baseOffset, 0))) {
        uint64_t rest = reader->length - uint64_t(std::max<int64_t>(reader->baseOffset, 0));
        if (volumeBytes == 0 || volumeBytes > rest)
            volumeBytes = rest;
    }
    return volumeBytes != 0;
}

bool ntfs::loadRecord(uint64_t offset, Record& out) {
    out = Record{};
    out.offset = offset;
    out.bytes.assign(recordBytes, 0);
    // A short read leaves zeros; a record that could not be read at all is all zeros.
    readVolume(offset, out.bytes.data(), recordBytes);
    applyFixupsInPlace(out.bytes);
    out.header = decodeRecordHeader(out.bytes);
    if (out.header.isFile)
        out.attributes = ntfsfmt::collectAttributes(out.bytes);
    out.loaded = out.header.isFile;
    return out.loaded;
}

std::vector<NtfsRun> ntfs::unnamedRuns(const Record& r, uint32_t type) {
    std::vector<NtfsRun> runs;
    for (const Attribute& a : r.attributes) {
        if (a.type != type || !a.nonResident || a.nameLength != 0)
            continue;
        uint64_t limit = a.lastVcn - a.firstVcn + 1;  // an empty attribute has lastVcn = -1
        if (a.lastVcn < a.firstVcn && a.lastVcn != UINT64_MAX)
            limit = 0;
        attributeClusters = limit;
        auto part = velmora::decodeRunList(a.runList(r.bytes), limit, a.firstVcn);
        runs.insert(runs.end(), part.begin(), part.end());
    }
    return runs;
}

std::vector<NtfsRun> ntfs::getAttributeRuns(uint64_t recordOffset, uint32_t type) {
    Record r;
    if (!loadRecord(recordOffset, r))
        return {};
    return unnamedRuns(r, type);
}

std::vector<NtfsRun> ntfs::mftRunsAt(uint64_t recordOffset) {
    Record r;
    if (!loadRecord(recordOffset, r))
        return {};
    return mftRunsFrom(r);
}

std::vector<NtfsRun> ntfs::mftRunsFrom(const Record& rec0) {
    std::vector<NtfsRun> runs = unnamedRuns(rec0, kAttrData);
    const Attribute* list = nullptr;
    for (const Attribute& a : rec0.attributes)
        if (a.type == kAttrAttributeList)
            list = &a;
    if (!list || runs.empty())
        return runs;
    std::vector<uint8_t> content;
    readAttributeContent(rec0, *list, 4u << 20, content);
    auto items = decodeAttributeList(content);
    std::stable_sort(items.begin(), items.end(),
                     [](const AttributeListEntry& x, const AttributeListEntry& y) { return x.startVcn < y.startVcn; });
    for (const AttributeListEntry& item : items) {
        uint64_t rn = referenceRecord(item.reference);
        if (item.type != kAttrData || item.nameLength != 0 || rn == 0)
            continue;
        // The extension record lies in a part of the MFT whose runs are known by now.
        uint64_t at = 0;
        if (__builtin_mul_overflow(rn, uint64_t(recordBytes), &at))
            continue;
        uint64_t vcn = at / clusterBytes;
        bool found = false;
        uint64_t disk = 0;
        for (const NtfsRun& run : runs)
            if (!run.sparse && vcn >= run.vcn && vcn - run.vcn < run.count && run.lcn >= 0) {
                disk = (uint64_t(run.lcn) + (vcn - run.vcn)) * clusterBytes + at % clusterBytes;
                found = true;
                break;
            }
        Record ext;
        if (!found || !loadRecord(disk, ext) || referenceRecord(ext.header.baseReference) != 0)
            continue;
        for (const NtfsRun& run : unnamedRuns(ext, kAttrData)) {
            uint64_t end = runs.empty() ? 0 : runs.back().vcn + runs.back().count;
            if (run.vcn >= end)
                runs.push_back(run);
        }
    }
    return runs;
}

bool ntfs::locateMft() {
    BootSector b = bootSector.size() >= 512 ? decodeBootSector(bootSector) : BootSector{};
    clusterBytes = b.clusterBytes ? b.clusterBytes : kDefaultClusterBytes;
    if (b.valid && b.clusterBytes) {
        recordBytes = b.recordBytes;
        mftReady = true;
        uint64_t mftOffset = 0;
        if (__builtin_mul_overflow(b.mftCluster, clusterBytes, &mftOffset))
            return true;
        setStatus("boot sector is fine.Getting run of mft entry...");
        mftRuns = mftRunsAt(mftOffset);
        // The mirror holds a copy of record 0 when the first one is damaged.
        uint64_t mirrorOffset = 0;
        if (mftRuns.empty() && !__builtin_mul_overflow(b.mftMirrorCluster, clusterBytes, &mirrorOffset))
            mftRuns = mftRunsAt(mirrorOffset);
        setStatus("Got run...");
        runFromFirstEntry = false;
        if (!mftRuns.empty())
            return true;
        // Neither record 0 nor its mirror gave runs: look for the MFT as on a damaged volume.
        mftReady = false;
        runFromFirstEntry = true;
        return searchForMft();
    }
    return searchForMft();
}

uint64_t ntfs::inferClusterBytes(uint64_t foundAt, const std::vector<NtfsRun>& runs) {
    const NtfsRun* first = nullptr;
    for (const NtfsRun& r : runs)
        if (!r.sparse && r.vcn == 0) {
            first = &r;
            break;
        }
    if (!first || first->lcn <= 0)
        return kDefaultClusterBytes;
    // Found in the MFT itself: its first cluster times the cluster size is where it was found.
    for (uint64_t c = 512; c <= kMaxClusterBytes; c <<= 1)
        if (uint64_t(first->lcn) * c == foundAt)
            return c;
    // Found in the mirror: the size at which the runs lead to a record 0 named $MFT.
    for (uint64_t c = 512; c <= kMaxClusterBytes; c <<= 1) {
        uint64_t at = 0;
        if (__builtin_mul_overflow(uint64_t(first->lcn), c, &at) || (volumeBytes && at >= volumeBytes))
            continue;
        Record r;
        if (!loadRecord(at, r))
            continue;
        FileName fn;
        if (fileNameOf(r, fn) && fn.name == "$MFT")
            return c;
    }
    return kDefaultClusterBytes;
}

bool ntfs::searchForMft() {
    setStatus("boot sector corrupt.Scanning for first mft entry...");
    clusterBytes = kDefaultClusterBytes;
    mftReady = false;
    setRange(0, int64_t(volumeBytes / kScanChunkBytes));
    std::vector<uint8_t> chunk;
    try {
        chunk.assign(kScanChunkBytes, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::vector<uint8_t> record(recordBytes);
    for (uint64_t k = 0; k * kScanChunkBytes < volumeBytes && !mftReady && !stopRequested; ++k) {
        if (k % 100 == 0)
            setPosition(int64_t(k));
        uint64_t base = k * kScanChunkBytes;
        uint64_t want = std::min<uint64_t>(kScanChunkBytes, volumeBytes - base);
        std::fill(chunk.begin(), chunk.end(), 0);
        readVolume(base, chunk.data(), want);
        for (uint64_t p = 0; p + 4 <= want && !stopRequested;) {
            if (std::memcmp(chunk.data() + p, "FILE", 4) != 0) {
                p += 512;
                continue;
            }
            // The whole record, even when it reaches into the next chunk.
            if (p + recordBytes <= want) {
                std::memcpy(record.data(), chunk.data() + p, recordBytes);
            } else {
                std::fill(record.begin(), record.end(), 0);
                readVolume(base + p, record.data(), recordBytes);
            }
            applyFixupsInPlace(record);
            Record r;
            r.offset = base + p;
            r.bytes = record;
            r.header = decodeRecordHeader(record);
            r.attributes = ntfsfmt::collectAttributes(record);
            r.loaded = true;
            FileName fn;
            bool named = fileNameOf(r, fn);
            bool hasList = std::any_of(r.attributes.begin(), r.attributes.end(),
                                       [](const Attribute& a) { return a.type == kAttrAttributeList; });
            // Only the MFT's own record describes the whole MFT (the mirror's covers four
            // records). A very fragmented MFT keeps even its name in an extension record; its
            // record 0 is then known by its own number and its attribute list.
            bool isMft = named ? fn.name == "$MFT" : (r.header.hasRecordNumber && hasList);
            if (r.header.baseReference == 0 && (!r.header.hasRecordNumber || r.header.recordNumber == 0) && isMft) {
                setStatus("found mft entry.getting its run ...");
                auto runs = unnamedRuns(r, kAttrData);
                setStatus("got run ...");
                if (!runs.empty()) {
                    clusterBytes = inferClusterBytes(r.offset, runs);
                    mftRuns = mftRunsFrom(r);
                    mftReady = true;
                    runFromFirstEntry = false;
                    entries.clear();
                    return true;
                }
            }
            p += 1024;
        }
    }
    return false;
}

void ntfs::walkMftRuns() {
    if (!mftReady || stopRequested)
        return;
    if (clusterBytes == 0)
        clusterBytes = kDefaultClusterBytes;
    if (runFromFirstEntry && !entries.empty()) {
        setStatus("getting run of mft...");
        mftRuns = mftRunsAt(entries[0].recordOffset);
        setStatus("got run...");
    }
    entries.clear();

    // No more slots than the volume can hold, whatever a damaged run list claims.
    const uint64_t maxEntries = volumeBytes / recordBytes + 1;
    const uint64_t clusters = volumeClusters();
    std::vector<uint8_t> piece;
    uint64_t carry = 0;  // bytes of a record begun in the previous run (small clusters only)

    auto addSlot = [&](const uint8_t* bytes, uint64_t offset) {
        NtfsEntry e;
        if (bytes)
            std::memcpy(e.signature, bytes, 4);
        e.recordOffset = offset;
        e.selfIndex = int64_t(entries.size());
        entries.push_back(std::move(e));
    };

    for (const NtfsRun& run : mftRuns) {
        setStatus(format("parsing %d cluster of MFT run.", (long long)run.lcn));
        if (stopRequested)
            break;
        // The record at MFT offset o is record o / recordBytes: a part of the MFT that no run
        // describes (or that lies past the volume) keeps its numbers as empty slots.
        uint64_t runPos = 0;
        if (__builtin_mul_overflow(run.vcn, clusterBytes, &runPos))
            break;
        while (entries.size() < runPos / recordBytes && entries.size() < maxEntries)
            addSlot(nullptr, 0);
        if (entries.size() * uint64_t(recordBytes) > runPos + recordBytes)
            continue;  // overlaps what was walked already
        uint64_t runBytes = 0;
        if (__builtin_mul_overflow(run.count, clusterBytes, &runBytes))
            break;
        uint64_t start = 0;
        bool inVolume = !run.sparse && run.lcn >= 0 && uint64_t(run.lcn) < clusters &&
                        !__builtin_mul_overflow(uint64_t(run.lcn), clusterBytes, &start);
        if (inVolume && run.count > clusters - uint64_t(run.lcn))
            runBytes = (clusters - uint64_t(run.lcn)) * clusterBytes;  // the rest lies past the volume
        uint64_t pos = std::min(carry ? recordBytes - carry : 0, runBytes);
        carry = 0;
        while (pos < runBytes && !stopRequested && entries.size() < maxEntries) {
            uint64_t n = std::min<uint64_t>(kMftPieceBytes, runBytes - pos);
            n -= n % recordBytes;
            if (n == 0) {
                // A record that goes on in the next run.
                piece.assign(recordBytes, 0);
                if (inVolume)
                    readVolume(start + pos, piece.data(), runBytes - pos);
                addSlot(inVolume ? piece.data() : nullptr, start + pos);
                carry = runBytes - pos;
                break;
            }
            piece.assign(n, 0);
            if (inVolume && !readVolume(start + pos, piece.data(), n)) {
                // Piecewise again so that one bad sector costs only its own records.
                for (uint64_t r = 0; r < n; r += recordBytes)
                    readVolume(start + pos + r, piece.data() + r, recordBytes);
            }
            for (uint64_t r = 0; r < n && entries.size() < maxEntries; r += recordBytes)
                addSlot(inVolume ? piece.data() + r : nullptr, start + pos + r);
            pos += n;
            gate();
        }
    }
}

} // namespace velmora
