// What a front end needs from any file-system parser to list a volume's tree and save its
// files without a tree widget: the first level under ROOT, the children of a folder, the
// display values of an entry and the content of a file.
#pragma once

#include "fs/common/OutputFiles.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora::fs {

// A parser's own handle of an entry (for NTFS its position in the entry table).
using EntryRef = int64_t;

struct EntryDescription {
    std::string name;  // as recorded on the volume (UTF-8)
    bool directory = false;
    bool deleted = false;
    uint64_t size = 0;
    std::optional<UnixTime> creation, access, modification;
    // The result list's texts.
    std::string sizeText, creationText, accessText, modificationText, attributeText;
};

struct SaveOutcome {
    bool ok = false;
    uint64_t bytes = 0;            // length of the file written
    uint64_t unreadableBytes = 0;  // bytes written as zeros because the volume could not be read there
    std::string error;             // why it failed, when !ok
};

class VolumeParser {
public:
    virtual ~VolumeParser() = default;

    // The standard scan of the volume. False when it cannot be read as this file system at all.
    virtual bool scan() = 0;

    // The entries directly under ROOT, in tree order.
    virtual std::vector<EntryRef> topLevel() = 0;
    // The children of a folder entry, in tree order (empty for a file).
    virtual std::vector<EntryRef> children(EntryRef folder) = 0;
    virtual EntryDescription describe(EntryRef entry) = 0;
    // Writes a file entry's content into `fd` (a new, empty file) and sets its times.
    virtual SaveOutcome saveContent(int fd, EntryRef entry) = 0;

    // The flag that makes a running scan or save end early; set from any thread (or a
    // signal handler: it is a lock-free atomic).
    virtual std::atomic<bool>& stopFlag() = 0;
    void requestStop() { stopFlag().store(true); }
};

} // namespace velmora::fs
