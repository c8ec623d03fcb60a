// The file systems the program can scan: for each, the names a volume may carry, how its
// parser is made for a volume, and the rules the results page and the savers follow. A new
// file system adds one row here.
#pragma once

#include "fs/common/VolumeParser.h"
#include "partition/VolumeInfo.h"
#include "scan/ResultBrowser.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velmora {
class readWriteInterface;
class ProgressSink;
class PauseGate;
class UserDialogs;
} // namespace velmora

namespace velmora::fs {

struct ParserContext {
    readWriteInterface* reader = nullptr;  // opened on the disk or volume; baseOffset is set here
    VolumeInfo volume;
    int recoveryMode = 1;                  // 1 Standard, 2 Advanced, 3 Deep
    ProgressSink* progress = nullptr;
    PauseGate* pause = nullptr;
    UserDialogs* dialogs = nullptr;
    std::string rootLabel = "ROOT";
};

struct ParserKind {
    std::string key;                       // "ntfs"
    std::vector<std::string> fsNames;      // accepted volume names, compared ignoring case
    std::string selectedStatus;            // status when the results page picks this parser
    bool modes[4] = {false, true, false, false};  // by recovery mode 1..3: a scan exists
    scan::ParserRules rules;
    std::function<std::unique_ptr<VolumeParser>(const ParserContext&)> create;
};

// Every file system with a parser, in a fixed order.
const std::vector<ParserKind>& parserKinds();

// The row for a volume's file-system name (ignoring case), or null: "not a valid drive."
const ParserKind* findParserKind(const std::string& fsName);

// Identifies a bare volume by its first sectors and returns the row for it, or null.
const ParserKind* detectParserKind(readWriteInterface& reader, int64_t startSector);

} // namespace velmora::fs
