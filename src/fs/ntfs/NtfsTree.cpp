// Assembling the entry tree: parsing every slot, the orphan folder, the first tree level,
// and the walk over the result for front ends without a tree widget.
#include "fs/ntfs/ntfs.h"
#include "scan/DisplayFormats.h"
#include "ui/CXHtmlTree.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_set>

namespace velmora {

using namespace ntfsfmt;

namespace {

constexpr uint64_t kParsePieceBytes = 4u << 20;
// Deep mode puts at most this many folders directly into the orphan folder.
constexpr int64_t kMaxDeepFolders = 100000;

} // namespace

void ntfs::showRoot() {
    if (!tree)
        return;
    rootItem_ = tree->insertItem(rootLabel, kFolderImage, kFolderImage, kTreeRoot);
}

void ntfs::buildTree() {
    if (mftReady && !stopRequested) {
        const size_t n = entries.size();
        setRange(0, int64_t(n));
        resetLinks();
        extensionNames_.clear();
        extraNames_.clear();
        recordSlots_ = n;
        std::vector<uint8_t> piece;
        std::vector<uint8_t> rec(recordBytes);
        const size_t perPiece = std::max<size_t>(1, kParsePieceBytes / recordBytes);
        char text[64];
        size_t i = 0;
        while (i < n && !stopRequested) {
            // Records that follow each other on the disk are read together.
            size_t j = i + 1;
            while (j < n && j - i < perPiece && entries[j].recordOffset == entries[j - 1].recordOffset + recordBytes)
                ++j;
            bool any = false;
            for (size_t k = i; k < j && !any; ++k)
                any = entries[k].isFile();
            if (any) {
                piece.assign((j - i) * recordBytes, 0);
                if (!readVolume(entries[i].recordOffset, piece.data(), piece.size()))
                    for (size_t k = i; k < j; ++k)
                        readVolume(entries[k].recordOffset, piece.data() + (k - i) * recordBytes, recordBytes);
            }
            for (size_t k = i; k < j; ++k) {
                std::snprintf(text, sizeof text, "parsing MFT entry %d...", int(k));
                setStatus(text);
                setPosition(int64_t(k));
                if (stopRequested)
                    break;
                if (!entries[k].isFile())
                    continue;
                std::memcpy(rec.data(), piece.data() + (k - i) * recordBytes, recordBytes);
                applyFixupsInPlace(rec);
                parseRecordBytes(rec, entries[k]);
            }
            i = j;
        }
        nameFromExtensions();
        // In deep mode parent references mean nothing, and so do a file's other names.
        if (scanMode != 3)
            addLinkEntries();
        extraNames_.clear();
        // Linking after parsing: a parent later in the MFT is known by the time its child is linked.
        for (size_t k = 0; k < entries.size(); ++k)
            linkEntry(int64_t(k));
    }

    NtfsEntry orphanFolder;
    std::memcpy(orphanFolder.signature, "FILE", 4);
    orphanFolder.name = kOrphanName;
    orphanFolder.kind = 'D';
    entries.push_back(orphanFolder);
    orphanIndex = int64_t(entries.size()) - 1;
    lastChild_.resize(entries.size(), 0);
    treeParent_.resize(entries.size(), -1);
    linked_.resize(entries.size(), 0);

    const int64_t size = int64_t(entries.size());
    rootIndex = size;
    for (int64_t i = 0; i < orphanIndex; ++i)
        if (entries[size_t(i)].name == ".") {
            rootIndex = i;
            break;
        }
    NtfsEntry& orphan = entries[size_t(orphanIndex)];
    orphan.selfIndex = orphanIndex;
    orphan.recordFlags = kRecordInUse;
    if (rootIndex > 0 && rootIndex < size) {
        orphan.parentIndex = rootIndex;
        orphan.nextSibling = 0;
        NtfsEntry& root = entries[size_t(rootIndex)];
        if (root.firstChild <= 0) {
            root.firstChild = orphanIndex;
        } else {
            int64_t c = root.firstChild;
            for (int64_t steps = 0; steps < size; ++steps) {
                int64_t next = entries[size_t(c)].nextSibling;
                if (next <= 0 || next >= size || next == c)
                    break;
                c = next;
            }
            entries[size_t(c)].nextSibling = orphanIndex;
        }
        treeParent_[size_t(orphanIndex)] = rootIndex;
    }
    relinkOrphans();
    if (tree)
        fillRoot();
}

void ntfs::relinkOrphans() {
    const int64_t size = int64_t(entries.size());
    setRange(0, size);
    if (orphanIndex < 0 || orphanIndex >= size)
        return;
    treeParent_.resize(entries.size(), -1);
    bool first = true;
    int64_t previousDir = orphanIndex;
    int64_t folders = 0;
    auto orphanFolder = [&]() -> NtfsEntry& { return entries[size_t(orphanIndex)]; };
    for (int64_t i = 0; i < size; ++i) {
        if (i == orphanIndex)
            continue;
        NtfsEntry& e = entries[size_t(i)];
        if (scanMode == 3) {
            // The table does not follow the MFT order, so parent references mean nothing: the
            // folders go into the orphan folder, each holding the files found after it.
            if (i == rootIndex)
                continue;
            e.firstChild = e.parentIndex = e.nextSibling = 0;
            if (e.kind == 'D') {
                if (first) {
                    e.nextSibling = orphanFolder().firstChild ? orphanFolder().firstChild : -1;
                    orphanFolder().firstChild = i;
                    e.parentIndex = orphanIndex;
                    treeParent_[size_t(i)] = orphanIndex;
                    first = false;
                    previousDir = i;
                } else if (folders < kMaxDeepFolders) {
                    ++folders;
                    e.nextSibling = previousDir;
                    orphanFolder().firstChild = i;
                    e.parentIndex = orphanIndex;
                    treeParent_[size_t(i)] = orphanIndex;
                    previousDir = i;
                } else {
                    e.nextSibling = entries[size_t(previousDir)].firstChild;
                    entries[size_t(previousDir)].firstChild = i;
                    treeParent_[size_t(i)] = previousDir;
                }
            } else {
                e.nextSibling = entries[size_t(previousDir)].firstChild;
                entries[size_t(previousDir)].firstChild = i;
                treeParent_[size_t(i)] = previousDir;
            }
            continue;
        }
        if (e.orphan != 1)
            continue;
        if (first) {
            orphanFolder().firstChild = i;
            e.nextSibling = -1;
            e.parentIndex = orphanIndex;
            first = false;
        } else {
            e.nextSibling = orphanFolder().firstChild;
            orphanFolder().firstChild = i;
        }
        treeParent_[size_t(i)] = orphanIndex;
    }
}

void ntfs::fillRoot() {
    if (!tree)
        return;
    if (!rootItem_)
        showRoot();
    for (int64_t c : topLevelEntries()) {
        const NtfsEntry& e = entries[size_t(c)];
        int image = e.kind == 'D' ? kFolderImage : fileImageIndex(e.name);
        TreeItem item = tree->insertItem(e.name, image, image, rootItem_);
        if (!e.inUse())
            tree->setItemTextColor(item, kDeletedColor);
        tree->setItemData(item, itemDataOf(c));
    }
    tree->expandItem(rootItem_);
}

bool ntfs::validEntry(int64_t position) const {
    return position >= 0 && position < int64_t(entries.size()) && entries[size_t(position)].isFile();
}

std::vector<int64_t> ntfs::childrenOf(int64_t position) const {
    std::vector<int64_t> out;
    if (!validEntry(position))
        return out;
    const int64_t size = int64_t(entries.size());
    std::unordered_set<int64_t> seen;
    int64_t c = entries[size_t(position)].firstChild;
    while (c > 0 && c < size && c != position && seen.insert(c).second) {
        if (!entries[size_t(c)].name.empty())
            out.push_back(c);
        c = entries[size_t(c)].nextSibling;
    }
    return out;
}

std::vector<int64_t> ntfs::topLevelEntries() const {
    std::vector<int64_t> out;
    if (orphanIndex < 0 || orphanIndex >= int64_t(entries.size()))
        return out;
    if (scanMode != 3 && rootIndex > 0 && rootIndex < orphanIndex)
        out = childrenOf(rootIndex);
    // Without a root directory the orphan folder still shows what was found.
    if (std::find(out.begin(), out.end(), orphanIndex) == out.end())
        out.push_back(orphanIndex);
    return out;
}

std::string ntfs::fullPath(int64_t position) const {
    std::vector<const std::string*> parts;
    int64_t c = position;
    const int64_t size = int64_t(entries.size());
    for (int64_t steps = 0; c >= 0 && c < size && c != rootIndex && steps < size; ++steps) {
        parts.push_back(&entries[size_t(c)].name);
        c = size_t(c) < treeParent_.size() ? treeParent_[size_t(c)] : -1;
    }
    std::string out;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        if (!out.empty())
            out += '/';
        out += **it;
    }
    return out;
}

const NtfsEntry* ntfs::entryFromItemData(uint64_t data) const {
    if (entries.empty() || data == 0)
        return nullptr;
    auto base = reinterpret_cast<uintptr_t>(entries.data());
    auto p = uintptr_t(data);
    if (p < base || p >= base + entries.size() * sizeof(NtfsEntry) || (p - base) % sizeof(NtfsEntry) != 0)
        return nullptr;
    const NtfsEntry* e = &entries[(p - base) / sizeof(NtfsEntry)];
    return e->isFile() && e->selfIndex >= 0 && e->selfIndex < int64_t(entries.size()) ? e : nullptr;
}

uint64_t ntfs::itemDataOf(int64_t position) const {
    if (position < 0 || position >= int64_t(entries.size()))
        return 0;
    return uint64_t(reinterpret_cast<uintptr_t>(&entries[size_t(position)]));
}

bool ntfs::scan() {
    if (tree && !rootItem_)
        showRoot();
    readBootSector();
    setStatus(" ParsingBasedOnMFT is going on....");
    locateMft();
    walkMftRuns();
    buildTree();
    bool anyRecord = false;
    for (const NtfsEntry& e : entries)
        if (e.isFile() && int64_t(&e - entries.data()) != orphanIndex) {
            anyRecord = true;
            break;
        }
    return mftReady && anyRecord;
}

std::vector<fs::EntryRef> ntfs::topLevel() { return topLevelEntries(); }

std::vector<fs::EntryRef> ntfs::children(fs::EntryRef folder) { return childrenOf(folder); }

fs::EntryDescription ntfs::describe(fs::EntryRef ref) {
    fs::EntryDescription d;
    if (!validEntry(ref))
        return d;
    const NtfsEntry& e = entries[size_t(ref)];
    d.name = e.name;
    d.directory = e.kind == 'D';
    d.deleted = !e.inUse();
    if (ref != orphanIndex) {
        NtfsEntryDetails t = entryDetails(ref);
        d.creation = fs::fromFileTime(t.creation);
        d.access = fs::fromFileTime(t.access);
        d.modification = fs::fromFileTime(t.modification);
        d.creationText = t.creationText;
        d.accessText = t.accessText;
        d.modificationText = t.modificationText;
        d.attributeText = t.attributeText;
        if (!d.directory)
            d.size = entrySize(ref);
    }
    d.sizeText = display::sizeText(d.size);
    return d;
}

} // namespace velmora
