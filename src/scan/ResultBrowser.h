// The result tree of a scan, filled lazily from a parser's entries: the first level after the
// scan, each folder's children when it is first opened, and the file-list rows of a folder.
#pragma once

#include "fs/common/VolumeParser.h"
#include "ui/CXHtmlTree.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmora::scan {

// What the results page asks of one file system beyond the common parser interface.
struct ParserRules {
    // Entries never written from tree items or folder dumps (NTFS: "$BadClus").
    std::function<bool(const fs::EntryDescription&)> neverWriteFromTree;
    // Whether "Do you want to Save Deleted Files?" applies (ext and HFS+ show no deleted state).
    bool deletedCanBeSkipped = true;
    // Whether deleted entries are drawn in red.
    bool showsDeleted = true;
};

// One row of the file list: a file of the clicked folder.
struct ListRow {
    std::string name, creation, access, modification, size, attributes;
    TreeItem item = kTreeRoot;
};

class ResultBrowser {
public:
    ResultBrowser(CXHtmlTree& tree, fs::VolumeParser& parser, ParserRules rules = {});

    // The root item and the first level below it. Returns the root item.
    TreeItem fillRoot(const std::string& rootLabel);
    // After a scan: a "..DUMY.." child under every first-level folder that has children.
    void addPlaceholders();
    // Replaces a folder's placeholder by its children (once; a second call changes nothing).
    void fillChildren(TreeItem item);
    // A label click: fills a folder and returns the rows of its files, or the row of a file.
    // Nothing for items without an entry (the root item): the list then stays as it is.
    std::optional<std::vector<ListRow>> labelClicked(TreeItem item);
    ListRow rowFor(TreeItem item);

    std::optional<fs::EntryRef> entryOf(TreeItem item) const;
    bool isFolder(TreeItem item) const;
    TreeItem root() const { return root_; }
    CXHtmlTree& tree() { return tree_; }
    fs::VolumeParser& parser() { return parser_; }
    const ParserRules& rules() const { return rules_; }

    static uint64_t dataFor(fs::EntryRef ref) { return uint64_t(ref) + 1; }

private:
    TreeItem insertEntry(TreeItem parent, fs::EntryRef ref, const fs::EntryDescription& d, int checkState);

    CXHtmlTree& tree_;
    fs::VolumeParser& parser_;
    ParserRules rules_;
    TreeItem root_ = kTreeRoot;
};

} // namespace velmora::scan
