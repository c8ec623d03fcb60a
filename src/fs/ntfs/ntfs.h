// The NTFS parser: finds the MFT, keeps one entry per MFT record slot (deleted records
// included), links the entries into a folder tree and writes file contents.
#pragma once

#include "disk/Bytes.h"
#include "disk/readWriteInterface.h"
#include "fs/common/VolumeParser.h"
#include "fs/ntfs/NtfsAttributes.h"
#include "fs/ntfs/NtfsRecord.h"
#include "fs/ntfs/NtfsRunList.h"
#include "host/Host.h"
#include "partition/VolumeInfo.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velmora {

class CXHtmlTree;

// One MFT record slot. The position in the entry table equals the MFT record number.
struct NtfsEntry {
    char signature[4] = {0, 0, 0, 0};  // "FILE" for a used or formerly used record
    uint64_t recordOffset = 0;         // from the start of the volume
    std::string name;                  // UTF-8; empty when the record gave no name
    int64_t parentIndex = 0;
    uint64_t allocatedSize = 0;        // of the file name attribute
    uint16_t recordFlags = 0;          // bit 0 in use, bit 1 directory
    char kind = 0;                     // 'D' for a directory
    int64_t selfIndex = 0;
    uint8_t orphan = 0;                // the parent reference is unusable
    int64_t firstChild = 0;            // 0 (or below) means none
    int64_t nextSibling = 0;           // 0 (or below) ends the chain
    uint16_t sequence = 0;             // the record's sequence number
    uint16_t parentSequence = 0;       // sequence number in the parent reference
    bool isExtension = false;          // holds attributes of another record
    uint32_t nameFlags = 0;            // flags of the file name attribute that named it
    bool shortName = false;            // named by a DOS 8.3 name (a long one is better)
    int64_t linkOf = -1;               // another name (hard link) of the file in record linkOf

    bool isFile() const { return signature[0] == 'F' && signature[1] == 'I' && signature[2] == 'L' && signature[3] == 'E'; }
    bool inUse() const { return recordFlags & ntfsfmt::kRecordInUse; }
};

// Layout of a record's data attribute.
struct NtfsDataInfo {
    uint32_t dataStart = 0;   // resident: content offset in the record; non-resident: run-list offset
    uint32_t dataLength = 0;
    uint16_t unitShift = 0;
    uint64_t firstVcn = 0, lastVcn = 0;
    char residency = 0;       // 'R', 'N', or 0 without a data attribute
    const char* state = nullptr;  // non-resident: "Compressed", "Encrypted", "Normal"
    uint64_t allocatedSize = 0;
    uint64_t realSize = 0;
};

// Times (FILETIME, 0 when unknown) and attribute letters of an entry, raw and as texts.
struct NtfsEntryDetails {
    uint64_t creation = 0, access = 0, modification = 0;
    uint32_t fileFlags = 0;
    std::string creationText, accessText, modificationText, attributeText;
};

// The whole unnamed data stream of a file, from its base record and, through the attribute
// list, its extension records.
struct NtfsDataStream {
    bool present = false;
    bool resident = false;
    std::vector<uint8_t> residentContent;
    uint64_t realSize = 0;
    uint64_t initializedSize = 0;  // bytes past this read as zeros
    uint64_t allocatedSize = 0;
    uint16_t flags = 0;
    uint16_t unitShift = 0;
    std::vector<NtfsRun> runs;     // ascending, non-overlapping virtual cluster ranges, within the volume
    uint64_t outsideBytes = 0;     // file bytes whose clusters would lie past the volume's end
    bool viaAttributeList = false;
    bool compressed() const { return (flags & ntfsfmt::kAttrFlagCompressionMask) && unitShift > 0 && unitShift <= 16; }
};

class ntfs final : public fs::VolumeParser {
public:
    explicit ntfs(readWriteInterface* reader = nullptr);
    ~ntfs() override;
    ntfs(const ntfs&) = delete;
    ntfs& operator=(const ntfs&) = delete;

    // Handed over by the page before the scan. Every offset is from the volume's start: the
    // reader's baseOffset is the volume's start sector × 512.
    readWriteInterface* reader = nullptr;
    ProgressSink* progress = nullptr;
    PauseGate* pauseGate = nullptr;
    UserDialogs* dialogs = nullptr;
    CXHtmlTree* tree = nullptr;
    VolumeInfo volume;
    std::string rootLabel = "ROOT";
    int scanMode = 1;  // 1 standard, 2 advanced, 3 deep
    std::atomic<bool> stopRequested{false};

    // Volume state.
    uint64_t volumeBytes = 0;
    std::vector<uint8_t> bootSector;  // the first sector once read
    uint64_t clusterBytes = 4096;
    uint32_t recordBytes = 1024;
    uint64_t attributeClusters = 0;   // virtual clusters of the last attribute decoded
    std::vector<NtfsRun> mftRuns;
    std::vector<NtfsEntry> entries;
    bool mftReady = false;
    bool runFromFirstEntry = true;
    int64_t orphanIndex = -1;
    int64_t rootIndex = 0;

    // Boot sector, MFT location and walk.
    bool readBootSector();
    bool locateMft();
    void walkMftRuns();
    // Runs of the record's unnamed non-resident attributes of `type`, each decoded on its own.
    std::vector<NtfsRun> getAttributeRuns(uint64_t recordOffset, uint32_t type);
    std::vector<NtfsRun> decodeRunList(Bytes runList) const { return velmora::decodeRunList(runList, attributeClusters); }

    // Records.
    static std::vector<uint8_t> applyFixups(Bytes record) { return ntfsfmt::applyFixups(record); }
    static std::vector<ntfsfmt::Attribute> collectAttributes(Bytes record) { return ntfsfmt::collectAttributes(record); }
    // Reads and parses the record at `recordOffset` into entry `position` and links it.
    void parseEntry(uint64_t recordOffset, uint32_t position);
    void appendChild(int64_t position);
    // Loads the entry's record as the current one; sets dataViaAttributeList. False when it
    // cannot be read.
    bool readHeader(int64_t position);
    NtfsDataInfo dataInfo();               // of the current record; sets hasDataAttribute
    void collectExtensionRecords();        // of the current record
    NtfsEntryDetails entryDetails(int64_t position);
    std::string entrySizeText(int64_t position);
    uint64_t entrySize(int64_t position);
    NtfsDataStream dataStream(int64_t position);

    bool dataViaAttributeList = false;
    bool hasDataAttribute = false;
    std::vector<uint64_t> extensionRecords;  // record numbers holding the data, by virtual cluster
    uint16_t compressionUnit = 0;

    // Tree assembly.
    void showRoot();
    void buildTree();
    void relinkOrphans();
    void fillRoot();
    uint64_t rootItem() const { return rootItem_; }

    // Content. The page sets outputPath (the folder, ending with "/") before each call; the
    // entry's trimmed, safe name is appended and an existing file of that name replaced.
    std::string outputPath;
    void saveFile(const std::string& positionText);
    fs::SaveOutcome saveFile(const std::filesystem::path& outputFile, int64_t position);
    // Writes into an open, empty file and sets its times.
    fs::SaveOutcome saveTo(int fd, int64_t position);

    // Walking the result without a tree widget.
    bool validEntry(int64_t position) const;
    std::vector<int64_t> childrenOf(int64_t position) const;
    std::vector<int64_t> topLevelEntries() const;  // what fillRoot puts under ROOT
    std::string fullPath(int64_t position) const;  // "/"-separated below ROOT
    const NtfsEntry* entryFromItemData(uint64_t data) const;
    uint64_t itemDataOf(int64_t position) const;

    // fs::VolumeParser
    bool scan() override;
    std::vector<fs::EntryRef> topLevel() override;
    std::vector<fs::EntryRef> children(fs::EntryRef folder) override;
    fs::EntryDescription describe(fs::EntryRef entry) override;
    fs::SaveOutcome saveContent(int fd, fs::EntryRef entry) override { return saveTo(fd, entry); }
    std::atomic<bool>& stopFlag() override { return stopRequested; }

    static constexpr uint64_t kScanChunkBytes = 10u * 1024 * 1024;
    static constexpr const char* kOrphanName = "ORPHAN_ENTRY";

private:
    struct Record {
        uint64_t offset = 0;
        std::vector<uint8_t> bytes;  // fixed up
        ntfsfmt::RecordHeader header;
        std::vector<ntfsfmt::Attribute> attributes;
        bool loaded = false;
    };

    bool loadRecord(uint64_t offset, Record& out);
    void parseRecordBytes(Bytes fixedRecord, NtfsEntry& e);
    // A base record too full for its file name keeps it in an extension record.
    struct ExtensionName {
        uint64_t baseReference;
        ntfsfmt::FileName fileName;
    };
    void applyFileName(const ntfsfmt::FileName& fn, NtfsEntry& e);
    void nameFromExtensions();
    std::vector<ExtensionName> extensionNames_;
    // Names of a file beyond the one it is shown by: each becomes an entry of its own after
    // the record slots, so that the file appears in every folder that holds it.
    struct ExtraName {
        int64_t position;
        ntfsfmt::FileName fileName;
    };
    std::vector<ExtraName> extraNames_;
    void addLinkEntries();
    // The MFT record an entry stands for (a hard link's entry stands for its file's record).
    uint64_t recordNumberOf(int64_t position) const;
    size_t recordSlots_ = 0;  // entries that are MFT record slots
    void linkEntry(int64_t position);
    void resetLinks();
    bool searchForMft();
    uint64_t inferClusterBytes(uint64_t foundAt, const std::vector<NtfsRun>& runs);
    std::vector<NtfsRun> unnamedRuns(const Record& r, uint32_t type);
    // The MFT's runs from its record 0, with the extents that its attribute list places in
    // extension records (a very fragmented MFT).
    std::vector<NtfsRun> mftRunsFrom(const Record& record0);
    std::vector<NtfsRun> mftRunsAt(uint64_t recordOffset);
    bool readAttributeContent(const Record& r, const ntfsfmt::Attribute& a, uint64_t maxBytes,
                              std::vector<uint8_t>& out);
    bool fileNameOf(const Record& r, ntfsfmt::FileName& out) const;

    // Volume reads; false when the range is outside the volume or the read failed.
    bool readVolume(uint64_t offset, void* buffer, size_t bytes);
    uint64_t volumeClusters() const;

    // Content paths.
    bool writeRuns(int fd, const NtfsDataStream& s, fs::SaveOutcome& result);
    bool writeCompressed(int fd, const NtfsDataStream& s, fs::SaveOutcome& result);
    // Reads `count` clusters at `lcn` into buf; unreadable clusters become zeros (counted).
    void readClusters(int64_t lcn, uint64_t count, uint8_t* buf, fs::SaveOutcome& result);

    void gate();
    void setRange(int64_t low, int64_t high);
    void setPosition(int64_t position);
    void setStatus(const std::string& text);
    void message(const std::string& text);

    Record current_;                       // the record readHeader loaded
    std::vector<int64_t> lastChild_;       // tail of each child chain while linking
    std::vector<int64_t> treeParent_;      // the folder each entry is shown in
    std::vector<uint8_t> linked_;
    uint64_t rootItem_ = 0;
};

} // namespace velmora
