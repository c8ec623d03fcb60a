#include "fs/registry/ParserRegistry.h"

#include "disk/readWriteInterface.h"
#include "fs/ntfs/ntfs.h"
#include "partition/FileSystemId.h"

#include <algorithm>
#include <cctype>

namespace velmora::fs {

namespace {

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::vector<ParserKind> makeKinds() {
    std::vector<ParserKind> kinds;

    ParserKind n;
    n.key = "ntfs";
    n.fsNames = {"ntfs"};
    n.selectedStatus = "ntfs partition selected....";
    n.modes[1] = true;   // Standard; Advanced and Deep come with the MFT search
    n.rules.neverWriteFromTree = [](const EntryDescription& d) { return d.name == "$BadClus"; };
    n.create = [](const ParserContext& c) -> std::unique_ptr<VolumeParser> {
        auto p = std::make_unique<ntfs>(c.reader);
        c.reader->baseOffset = c.volume.startSector * kSectorSize;
        p->progress = c.progress;
        p->pauseGate = c.pause;
        p->dialogs = c.dialogs;
        p->volume = c.volume;
        p->rootLabel = c.rootLabel;
        p->scanMode = c.recoveryMode;
        return p;
    };
    kinds.push_back(std::move(n));

    return kinds;
}

} // namespace

const std::vector<ParserKind>& parserKinds() {
    static const std::vector<ParserKind> kinds = makeKinds();
    return kinds;
}

const ParserKind* findParserKind(const std::string& fsName) {
    for (const auto& k : parserKinds())
        for (const auto& name : k.fsNames)
            if (equalsIgnoringCase(name, fsName))
                return &k;
    return nullptr;
}

const ParserKind* detectParserKind(readWriteInterface& reader, int64_t startSector) {
    int64_t saved = reader.baseOffset;
    reader.baseOffset = 0;
    FileSystemId id = identifyFileSystemAt(reader, startSector);
    reader.baseOffset = saved;
    return id.recognised() ? findParserKind(id.name()) : nullptr;
}

} // namespace velmora::fs
