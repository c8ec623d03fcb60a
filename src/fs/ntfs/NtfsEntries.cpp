// Parsing one MFT record into its entry, linking entries under their parents, and the
// per-entry values the result list shows.
#include "fs/ntfs/ntfs.h"
#include "scan/DisplayFormats.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_set>

namespace velmora {

using namespace ntfsfmt;

namespace {

// Attribute lists are a few kilobytes; this only keeps a damaged size from costing memory.
constexpr uint64_t kMaxAttributeListBytes = 4u << 20;

// The names of a record: every long (Win32 or POSIX) one in record order, each a name of
// the file in its own folder (hard links); a DOS 8.3 name only when there is no long one.
// Parent and name always come from the same attribute.
std::vector<FileName> fileNames(Bytes record, const std::vector<Attribute>& attrs) {
    std::vector<FileName> names;
    std::optional<FileName> dos;
    for (const Attribute& a : attrs) {
        if (a.type != kAttrFileName || a.nonResident || !a.contentInside)
            continue;
        auto fn = decodeFileName(a.content(record));
        if (!fn)
            continue;
        if (fn->nameSpace != kNameSpaceDos)
            names.push_back(std::move(*fn));
        else if (!dos)
            dos = std::move(*fn);
    }
    if (names.empty() && dos)
        names.push_back(std::move(*dos));
    return names;
}

// The name that identifies the entry: a long name wins over a DOS one, whatever their order.
bool chooseFileName(Bytes record, const std::vector<Attribute>& attrs, FileName& out) {
    auto names = fileNames(record, attrs);
    if (names.empty())
        return false;
    out = std::move(names.front());
    return true;
}

int64_t signExtend48(uint64_t v) {
    v &= 0x0000FFFFFFFFFFFFULL;
    if (v & 0x0000800000000000ULL)
        v |= 0xFFFF000000000000ULL;
    return int64_t(v);
}

} // namespace

bool ntfs::fileNameOf(const Record& r, FileName& out) const { return chooseFileName(r.bytes, r.attributes, out); }

void ntfs::applyFileName(const FileName& fn, NtfsEntry& e) {
    e.name = fn.name;
    e.parentIndex = signExtend48(fn.parentReference);
    e.parentSequence = referenceSequence(fn.parentReference);
    e.allocatedSize = fn.allocatedSize;
    e.nameFlags = fn.flags;
    e.shortName = fn.nameSpace == kNameSpaceDos;
    if ((fn.flags & kFileNameDirectoryFlag) || (e.recordFlags & kRecordDirectory))
        e.kind = 'D';
}

void ntfs::parseRecordBytes(Bytes rec, NtfsEntry& e) {
    RecordHeader h = decodeRecordHeader(rec);
    if (!h.isFile)
        return;
    std::memcpy(e.signature, "FILE", 4);
    e.recordFlags = h.flags;
    e.sequence = h.sequence;
    auto attrs = ntfsfmt::collectAttributes(rec);
    auto names = fileNames(rec, attrs);
    // Extension records carry attributes of their base record, not a file of their own.
    if (h.baseReference != 0) {
        e.isExtension = true;
        for (FileName& fn : names)
            extensionNames_.push_back({h.baseReference, std::move(fn)});
        return;
    }
    if (names.empty())
        return;
    applyFileName(names.front(), e);
    for (size_t k = 1; k < names.size(); ++k)
        extraNames_.push_back({e.selfIndex, std::move(names[k])});
}

void ntfs::nameFromExtensions() {
    for (ExtensionName& x : extensionNames_) {
        uint64_t b = referenceRecord(x.baseReference);
        if (b >= entries.size())
            continue;
        NtfsEntry& base = entries[size_t(b)];
        uint16_t seq = referenceSequence(x.baseReference);
        if (!base.isFile() || base.isExtension || (seq != 0 && seq != base.sequence))
            continue;
        bool isLong = x.fileName.nameSpace != kNameSpaceDos;
        if (base.name.empty() || (base.shortName && isLong))
            applyFileName(x.fileName, base);
        else if (isLong)
            extraNames_.push_back({int64_t(b), std::move(x.fileName)});
    }
    extensionNames_.clear();
}

void ntfs::addLinkEntries() {
    const size_t slots = entries.size();
    // Every (file, folder, name) once: the same name can be met in more than one record.
    std::unordered_set<std::string> known;
    auto key = [](int64_t file, int64_t folder, const std::string& name) {
        return std::to_string(file) + '/' + std::to_string(folder) + '/' + name;
    };
    for (ExtraName& x : extraNames_) {
        if (x.position <= 0 || size_t(x.position) >= slots)
            continue;
        const NtfsEntry& base = entries[size_t(x.position)];
        // Folders have one name; a second would show an empty copy of the folder.
        if (base.name.empty() || base.kind == 'D' || (x.fileName.flags & kFileNameDirectoryFlag))
            continue;
        int64_t parent = signExtend48(x.fileName.parentReference);
        known.insert(key(x.position, base.parentIndex, base.name));
        if (!known.insert(key(x.position, parent, x.fileName.name)).second)
            continue;
        NtfsEntry link = base;
        link.selfIndex = int64_t(entries.size());
        link.linkOf = x.position;
        link.firstChild = link.nextSibling = 0;
        link.orphan = 0;
        applyFileName(x.fileName, link);
        entries.push_back(std::move(link));
    }
    extraNames_.clear();
}

uint64_t ntfs::recordNumberOf(int64_t position) const {
    if (position >= 0 && size_t(position) < entries.size() && entries[size_t(position)].linkOf >= 0)
        return uint64_t(entries[size_t(position)].linkOf);
    return uint64_t(position);
}

void ntfs::parseEntry(uint64_t recordOffset, uint32_t position) {
    if (position >= entries.size())
        return;
    std::vector<uint8_t> rec(recordBytes, 0);
    if (!readVolume(recordOffset, rec.data(), recordBytes) && rec[0] == 0)
        return;
    applyFixupsInPlace(rec);
    NtfsEntry& e = entries[position];
    e.recordOffset = recordOffset;
    parseRecordBytes(rec, e);
    linkEntry(position);
}

void ntfs::resetLinks() {
    lastChild_.assign(entries.size(), 0);
    treeParent_.assign(entries.size(), -1);
    linked_.assign(entries.size(), 0);
    for (NtfsEntry& e : entries) {
        e.firstChild = 0;
        e.nextSibling = 0;
        e.orphan = 0;
    }
}

void ntfs::linkEntry(int64_t i) {
    const int64_t n = int64_t(entries.size());
    if (i < 0 || i >= n)
        return;
    if (lastChild_.size() != entries.size()) {
        lastChild_.resize(entries.size(), 0);
        treeParent_.resize(entries.size(), -1);
        linked_.resize(entries.size(), 0);
    }
    NtfsEntry& e = entries[size_t(i)];
    if (e.name.empty() || linked_[size_t(i)])
        return;
    int64_t p = e.parentIndex;
    if (p == i) {
        // Only the root directory is its own parent.
        if (e.name != ".")
            e.orphan = 1;
        return;
    }
    if (p < 0 || p >= n) {
        e.orphan = 1;
        return;
    }
    const NtfsEntry& parent = entries[size_t(p)];
    // The parent slot must still hold the folder the reference was made to: same sequence
    // number, or one more when that folder was deleted since (freeing a record counts it up).
    bool sameFolder = e.parentSequence == 0 || e.parentSequence == parent.sequence ||
                      (!parent.inUse() && uint16_t(e.parentSequence + 1) == parent.sequence);
    if (parent.kind != 'D' || !parent.isFile() || !sameFolder) {
        e.orphan = 1;
        return;
    }
    appendChild(i);
}

void ntfs::appendChild(int64_t i) {
    const int64_t n = int64_t(entries.size());
    if (i <= 0 || i >= n)
        return;
    NtfsEntry& e = entries[size_t(i)];
    if (e.selfIndex <= 0 || e.selfIndex >= n || e.selfIndex != i)
        return;  // record 0 is never anybody's child
    int64_t p = e.parentIndex;
    if (p < 0 || p >= n || p == i || linked_[size_t(i)])
        return;
    NtfsEntry& parent = entries[size_t(p)];
    int64_t last = lastChild_[size_t(p)];
    if (last <= 0 || parent.firstChild <= 0)
        parent.firstChild = i;
    else
        entries[size_t(last)].nextSibling = i;
    e.nextSibling = 0;
    lastChild_[size_t(p)] = i;
    treeParent_[size_t(i)] = p;
    linked_[size_t(i)] = 1;
}

bool ntfs::readHeader(int64_t position) {
    current_ = Record{};
    dataViaAttributeList = false;
    if (!validEntry(position) || position == orphanIndex)
        return false;
    if (!loadRecord(entries[size_t(position)].recordOffset, current_))
        return false;
    for (const Attribute& a : current_.attributes)
        if (a.type == kAttrAttributeList)
            dataViaAttributeList = true;
    return true;
}

NtfsDataInfo ntfs::dataInfo() {
    NtfsDataInfo d;
    hasDataAttribute = false;
    for (const Attribute& a : current_.attributes) {
        if (a.type != kAttrData || a.nameLength != 0)
            continue;
        hasDataAttribute = true;
        if (a.nonResident) {
            d.dataStart = a.runListOffset;
            d.dataLength = a.runListLength;
            d.unitShift = a.unitShift;
            d.firstVcn = a.firstVcn;
            d.lastVcn = a.lastVcn;
            d.allocatedSize = a.allocatedSize;
            d.realSize = a.realSize;
            d.residency = 'N';
            if (a.flags & kAttrFlagCompressionMask)
                d.state = "Compressed";
            else if (a.flags & kAttrFlagEncrypted)
                d.state = "Encrypted";
            else if (a.flags == 0)
                d.state = "Normal";
            break;
        }
        d.dataStart = a.contentOffset;
        d.dataLength = a.contentInside ? a.contentLength : 0;
        d.realSize = d.dataLength;
        d.residency = 'R';
    }
    return d;
}

bool ntfs::readAttributeContent(const Record& r, const Attribute& a, uint64_t maxBytes, std::vector<uint8_t>& out) {
    out.clear();
    if (!a.nonResident) {
        Bytes c = a.content(r.bytes);
        out.assign(c.begin(), c.end());
        return a.contentInside;
    }
    uint64_t limit = a.lastVcn - a.firstVcn + 1;
    auto runs = velmora::decodeRunList(a.runList(r.bytes), limit, a.firstVcn);
    uint64_t size = std::min(a.realSize, maxBytes);
    out.assign(size, 0);
    fs::SaveOutcome ignored;
    for (const NtfsRun& run : runs) {
        uint64_t at = 0;
        if (__builtin_mul_overflow(run.vcn, clusterBytes, &at) || at >= size)
            break;
        if (run.sparse)
            continue;
        uint64_t clusters = std::min<uint64_t>(run.count, (size - at + clusterBytes - 1) / clusterBytes);
        uint64_t bytes = std::min<uint64_t>(clusters * clusterBytes, size - at);
        std::vector<uint8_t> buf(clusters * clusterBytes);
        readClusters(run.lcn, clusters, buf.data(), ignored);
        std::memcpy(out.data() + at, buf.data(), bytes);
    }
    return true;
}

void ntfs::collectExtensionRecords() {
    extensionRecords.clear();
    for (const Attribute& a : current_.attributes) {
        if (a.type != kAttrAttributeList)
            continue;
        hasDataAttribute = false;
        std::vector<uint8_t> list;
        readAttributeContent(current_, a, kMaxAttributeListBytes, list);
        auto items = decodeAttributeList(list);
        std::stable_sort(items.begin(), items.end(),
                         [](const AttributeListEntry& x, const AttributeListEntry& y) { return x.startVcn < y.startVcn; });
        std::unordered_set<uint64_t> seen;
        for (const AttributeListEntry& item : items) {
            if (item.type != kAttrData || item.nameLength != 0)
                continue;
            uint64_t rn = referenceRecord(item.reference);
            if (seen.insert(rn).second)
                extensionRecords.push_back(rn);
        }
        break;
    }
}

NtfsDataStream ntfs::dataStream(int64_t position) {
    NtfsDataStream s;
    if (!readHeader(position))
        return s;
    std::vector<Record> records;
    records.push_back(current_);
    if (dataViaAttributeList) {
        collectExtensionRecords();
        if (!extensionRecords.empty())
            compressionUnit = 0;
        const uint64_t self = recordNumberOf(position);
        const size_t slots = recordSlots_ ? std::min(recordSlots_, entries.size()) : entries.size();
        for (uint64_t rn : extensionRecords) {
            if (rn == self || rn >= slots)
                continue;
            Record r;
            if (!loadRecord(entries[size_t(rn)].recordOffset, r))
                continue;
            if (referenceRecord(r.header.baseReference) != self)
                continue;  // the slot was reused by another file since
            records.push_back(std::move(r));
        }
        s.viaAttributeList = records.size() > 1;
    }

    struct Extent {
        const Record* record;
        const Attribute* attr;
    };
    std::vector<Extent> extents;
    const Attribute* residentAttr = nullptr;
    const Record* residentRecord = nullptr;
    for (const Record& r : records)
        for (const Attribute& a : r.attributes) {
            if (a.type != kAttrData || a.nameLength != 0)
                continue;
            if (a.nonResident) {
                if (a.runListInside)
                    extents.push_back({&r, &a});
            } else if (!residentAttr && a.contentInside) {
                residentAttr = &a;
                residentRecord = &r;
            }
        }

    if (extents.empty()) {
        if (residentAttr) {
            s.present = true;
            s.resident = true;
            Bytes c = residentAttr->content(residentRecord->bytes);
            s.residentContent.assign(c.begin(), c.end());
            s.realSize = s.initializedSize = s.allocatedSize = c.size();
        }
        return s;
    }

    std::stable_sort(extents.begin(), extents.end(),
                     [](const Extent& x, const Extent& y) { return x.attr->firstVcn < y.attr->firstVcn; });
    const Attribute& first = *extents.front().attr;
    s.present = true;
    s.flags = first.flags;
    s.unitShift = first.unitShift;
    s.allocatedSize = first.allocatedSize;
    s.realSize = first.realSize;
    s.initializedSize = first.initializedSize;
    compressionUnit = uint16_t(s.unitShift <= 15 ? (1u << s.unitShift) : 0);

    uint64_t covered = 0;  // virtual clusters described so far
    for (const Extent& x : extents) {
        const Attribute& a = *x.attr;
        uint64_t limit = a.lastVcn - a.firstVcn + 1;
        if (a.lastVcn < a.firstVcn)
            limit = 0;
        attributeClusters = limit;
        for (NtfsRun run : velmora::decodeRunList(a.runList(x.record->bytes), limit, a.firstVcn)) {
            uint64_t end = run.vcn + run.count;
            if (end <= covered)
                continue;  // overlaps what an earlier extent described
            if (run.vcn < covered) {
                uint64_t skip = covered - run.vcn;
                run.vcn = covered;
                run.count -= skip;
                if (!run.sparse)
                    run.lcn += int64_t(skip);
            }
            s.runs.push_back(run);
            covered = end;
        }
    }
    uint64_t coveredBytes = covered <= UINT64_MAX / clusterBytes ? covered * clusterBytes : UINT64_MAX;
    if (first.firstVcn != 0)
        s.realSize = s.initializedSize = coveredBytes;  // the sizes live in the first extent only
    uint64_t most = std::max(s.allocatedSize, coveredBytes);
    if (s.realSize > most)
        s.realSize = most;
    if (s.initializedSize > s.realSize)
        s.initializedSize = s.realSize;

    // Clusters past the end of the volume hold nothing of the file: runs are cut there, so
    // that no content path walks what a damaged run list claims beyond the disk. What they
    // claimed within the file's initialized bytes is counted as unreadable.
    const uint64_t clusters = volumeClusters();
    const uint64_t valid = s.initializedSize;
    auto bytesWithin = [&](uint64_t vcn, uint64_t count) -> uint64_t {
        uint64_t from = 0, to = 0;
        if (__builtin_mul_overflow(vcn, clusterBytes, &from) || from >= valid)
            return 0;
        if (__builtin_add_overflow(vcn, count, &to) || __builtin_mul_overflow(to, clusterBytes, &to) || to > valid)
            to = valid;
        return to - from;
    };
    for (NtfsRun& run : s.runs) {
        if (run.sparse)
            continue;
        uint64_t keep = run.lcn >= 0 && uint64_t(run.lcn) < clusters ? std::min(run.count, clusters - uint64_t(run.lcn)) : 0;
        if (keep == run.count)
            continue;
        s.outsideBytes += bytesWithin(run.vcn + keep, run.count - keep);
        run.count = keep;
    }
    s.runs.erase(std::remove_if(s.runs.begin(), s.runs.end(), [](const NtfsRun& r) { return r.count == 0; }),
                 s.runs.end());
    return s;
}

NtfsEntryDetails ntfs::entryDetails(int64_t position) {
    NtfsEntryDetails d;
    Record r;
    if (!validEntry(position) || position == orphanIndex || !loadRecord(entries[size_t(position)].recordOffset, r))
        return d;
    for (const Attribute& a : r.attributes) {
        if (a.type != kAttrStandardInformation || a.nonResident)
            continue;
        if (auto si = decodeStandardInformation(a.content(r.bytes))) {
            d.creation = si->creation;
            d.modification = si->modification;
            d.access = si->access;
        }
        break;
    }
    // A hard link's own name, and a name kept in an extension record, give their own flags.
    const NtfsEntry& e = entries[size_t(position)];
    FileName fn;
    d.fileFlags = e.linkOf < 0 && fileNameOf(r, fn) ? fn.flags : e.nameFlags;
    auto text = [](uint64_t t) { return t ? display::fileTimeText(t) : std::string(); };
    d.creationText = text(d.creation);
    d.accessText = text(d.access);
    d.modificationText = text(d.modification);
    d.attributeText = display::ntfsAttributeText(d.fileFlags & 0xFFFF);
    return d;
}

uint64_t ntfs::entrySize(int64_t position) {
    if (!validEntry(position) || position == orphanIndex)
        return 0;
    NtfsDataStream s = dataStream(position);
    return s.present ? s.realSize : 0;
}

std::string ntfs::entrySizeText(int64_t position) { return display::sizeText(entrySize(position)); }

} // namespace velmora
