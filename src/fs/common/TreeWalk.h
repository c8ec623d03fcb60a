// Walks over a parser's entry tree that every file system's list and recover commands share.
#pragma once

#include "fs/common/OutputFiles.h"
#include "fs/common/VolumeParser.h"

#include <atomic>
#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace velmora::fs {

struct WalkItem {
    EntryRef ref = 0;
    std::vector<std::string> path;  // names from below ROOT down to this entry
    EntryDescription description;
};

// Tree order: each entry, then (for a folder) its children, depth first. A folder met a
// second time (a loop in damaged links) is listed but not entered again; depth is bounded.
// `visit` returns false to end the walk.
void walkTree(VolumeParser& parser, const std::function<bool(const WalkItem&)>& visit);

// "a/b/c" from a path.
std::string joinPath(const std::vector<std::string>& parts);

struct RecoverOptions {
    bool skipDeleted = false;
    bool useMatch = false;
    std::regex match;                  // searched in file names when useMatch
    std::vector<std::string> paths;    // "/"-separated paths below ROOT; empty means everything
    // Files never written whatever was chosen (the file system's own rule, e.g. "$BadClus").
    std::function<bool(const EntryDescription&)> neverWrite;
};

// Sets options.match from a pattern (ECMAScript, case-insensitive); false with the reason
// when the pattern is not a valid expression.
bool setMatchPattern(RecoverOptions& options, const std::string& pattern, std::string* error);

struct RecoverSummary {
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t failures = 0;
    uint64_t unreadableBytes = 0;
    std::vector<std::string> unmatchedPaths;  // PATH arguments that name no entry
};

class RecoverObserver {
public:
    virtual ~RecoverObserver() = default;
    virtual void started(uint64_t /*totalFiles*/) {}
    virtual void fileStarted(const std::string& /*path*/, uint64_t /*size*/) {}
    virtual void fileDone(uint64_t /*filesDone*/, const SaveOutcome&) {}
    virtual void failed(const std::string& /*path*/, const std::string& /*why*/) {}
};

// Saves the chosen files below `out`, recreating their folders; existing files are never
// replaced (a second file for the same path gets " (2)" before its extension).
RecoverSummary recoverTree(VolumeParser& parser, const OutputFolder& out, const RecoverOptions& options,
                           RecoverObserver* observer = nullptr, const std::atomic<bool>* stop = nullptr);

} // namespace velmora::fs
