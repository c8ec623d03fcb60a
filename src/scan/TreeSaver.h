// Saving the ticked items of a result tree below a chosen folder: ticked files item by item
// below their recreated folders, ticked folders that were never opened dumped whole from the
// parser's entries.
#pragma once

#include "fs/common/OutputFiles.h"
#include "host/Host.h"
#include "scan/ResultBrowser.h"

#include <atomic>
#include <filesystem>
#include <string>

namespace velmora::scan {

struct SaveReport {
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t failures = 0;
    uint64_t skippedDeleted = 0;
    uint64_t unreadableBytes = 0;
};

// What a save run shows while it works: progress and status through the ProgressSink, the
// "File size: " line through sizeLine, failures through failed.
class SaveObserver {
public:
    virtual ~SaveObserver() = default;
    virtual void sizeLine(const std::string& /*text*/) {}
    virtual void failed(const std::string& /*path*/, const std::string& /*why*/) {}
};

struct SaveRequest {
    std::filesystem::path destination;
    bool skipDeleted = true;
    ProgressSink* progress = nullptr;
    SaveObserver* observer = nullptr;
    const std::atomic<bool>* stop = nullptr;
    PauseGate* pause = nullptr;
};

class TreeSaver {
public:
    explicit TreeSaver(ResultBrowser& browser) : browser_(browser) {}

    // Walks the tree from the root item and writes every ticked entry. Files never replace
    // existing ones: a second file for one path gets " (2)", " (3)" ... before its extension.
    SaveReport saveCheckedItems(const SaveRequest& request);

    // Bounds against damaged entry links in folder dumps.
    static constexpr size_t kMaxDepth = 1024;

private:
    struct Run;
    void visit(Run& run, TreeItem item);
    void saveTreeFile(Run& run, TreeItem item);
    void dumpFolder(Run& run, TreeItem item);
    uint64_t countFiles(Run& run, fs::EntryRef folder);
    void dumpEntry(Run& run, fs::EntryRef folder, const fs::OutputFolder& into, size_t depth);
    void writeFile(Run& run, fs::EntryRef ref, const fs::EntryDescription& d, const fs::OutputFolder& into);
    std::optional<fs::OutputFolder> mirrorFolders(Run& run, TreeItem item);

    ResultBrowser& browser_;
};

} // namespace velmora::scan
