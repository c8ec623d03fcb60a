#include "scan/ResultBrowser.h"

namespace velmora::scan {

ResultBrowser::ResultBrowser(CXHtmlTree& tree, fs::VolumeParser& parser, ParserRules rules)
    : tree_(tree), parser_(parser), rules_(std::move(rules)) {}

std::optional<fs::EntryRef> ResultBrowser::entryOf(TreeItem item) const {
    if (item == kTreeRoot || item == root_ || !tree_.exists(item))
        return std::nullopt;
    uint64_t data = tree_.itemData(item);
    if (data == 0)
        return std::nullopt;
    return fs::EntryRef(data - 1);
}

bool ResultBrowser::isFolder(TreeItem item) const {
    return entryOf(item) && tree_.itemImage(item) == kFolderImage;
}

TreeItem ResultBrowser::insertEntry(TreeItem parent, fs::EntryRef ref, const fs::EntryDescription& d,
                                    int checkState) {
    int image = d.directory ? kFolderImage : fileImageIndex(d.name);
    TreeItem item = tree_.insertItem(d.name, image, image, parent);
    tree_.setItemData(item, dataFor(ref));
    if (d.deleted && rules_.showsDeleted)
        tree_.setItemTextColor(item, kDeletedColor);
    if (d.directory && !parser_.children(ref).empty())
        tree_.insertItem(kDummyItemText, kDummyImage, kDummyImage, item);
    if (checkState == kCheckChecked)
        tree_.setCheck(item, true);
    return item;
}

TreeItem ResultBrowser::fillRoot(const std::string& rootLabel) {
    root_ = tree_.insertItem(rootLabel, kFolderImage, kFolderImage, kTreeRoot);
    for (fs::EntryRef ref : parser_.topLevel()) {
        fs::EntryDescription d = parser_.describe(ref);
        int image = d.directory ? kFolderImage : fileImageIndex(d.name);
        TreeItem item = tree_.insertItem(d.name, image, image, root_);
        tree_.setItemData(item, dataFor(ref));
        if (d.deleted && rules_.showsDeleted)
            tree_.setItemTextColor(item, kDeletedColor);
    }
    tree_.expandItem(root_);
    return root_;
}

void ResultBrowser::addPlaceholders() {
    for (TreeItem item : tree_.children(root_)) {
        auto ref = entryOf(item);
        if (!ref || tree_.itemImage(item) != kFolderImage || tree_.itemHasChildren(item))
            continue;
        if (!parser_.children(*ref).empty())
            tree_.insertItem(kDummyItemText, kDummyImage, kDummyImage, item);
    }
}

void ResultBrowser::fillChildren(TreeItem item) {
    auto ref = entryOf(item);
    if (!ref || !isFolder(item))
        return;
    int state = tree_.checkState(item);
    TreeItem first = tree_.firstChild(item);
    if (first != kTreeRoot) {
        if (tree_.itemText(first) != kDummyItemText)
            return;  // already filled
        tree_.deleteItem(first);
    }
    for (fs::EntryRef child : parser_.children(*ref))
        insertEntry(item, child, parser_.describe(child), state);
}

ListRow ResultBrowser::rowFor(TreeItem item) {
    ListRow row;
    row.name = tree_.itemText(item);
    row.item = item;
    if (auto ref = entryOf(item)) {
        fs::EntryDescription d = parser_.describe(*ref);
        row.creation = d.creationText;
        row.access = d.accessText;
        row.modification = d.modificationText;
        row.size = d.sizeText;
        row.attributes = d.attributeText;
    }
    return row;
}

std::optional<std::vector<ListRow>> ResultBrowser::labelClicked(TreeItem item) {
    if (!entryOf(item))
        return std::nullopt;
    std::vector<ListRow> rows;
    if (!isFolder(item)) {
        rows.push_back(rowFor(item));
        return rows;
    }
    fillChildren(item);
    for (TreeItem child : tree_.children(item))
        if (entryOf(child) && !isFolder(child))
            rows.push_back(rowFor(child));
    return rows;
}

} // namespace velmora::scan
