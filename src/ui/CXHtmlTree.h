// The result tree's item model: items with text, icon index, item data, text colour and a
// check box with a third, mixed state. Checking an item checks everything below it; a parent
// shows whether all, some or none of its children are checked.
//
// Plain C++ so that parsers can fill it from a worker thread. Every operation takes an
// internal lock; observers are called after the lock is released, on the thread that made
// the change, so an observer may read the tree again (the Qt view posts itself a sync).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace velmora {

using TreeItem = uint64_t;
constexpr TreeItem kTreeRoot = 0; // the invisible root; also "no item"

// Text of the placeholder child of a folder whose children are not loaded yet.
inline constexpr const char* kDummyItemText = "..DUMY..";
// Text colour of deleted entries.
constexpr uint32_t kDeletedColor = 0xFF0000;
// itemTextColor() of an item that was never given a colour (drawn in the normal text colour).
constexpr uint32_t kNoTextColor = 0xFFFFFFFFu;

// Image indexes. They are only keys: the view maps each to an icon. Like the system icon
// list, 0 is the generic file icon, so "image is not 0" tells folders from unknown files.
constexpr int kGenericFileImage = 0;
constexpr int kDummyImage = 1; // placeholder child
constexpr int kFolderImage = 3;
constexpr int kFirstExtensionImage = 16; // per-extension file icons start here

// Icon index for a file name, by its extension (case-insensitive). Names without extension
// get kGenericFileImage. The same extension always gives the same index in one process.
int fileImageIndex(const std::string& fileName);
// The extension (lower case, without dot) that an index from fileImageIndex stands for;
// empty for indexes that are not per-extension.
std::string imageExtension(int image);

// Check states as the state images number them.
constexpr int kCheckUnchecked = 1;
constexpr int kCheckChecked = 2;
constexpr int kCheckMixed = 3;

class CXHtmlTree;

// Notifications of a CXHtmlTree. Called on the thread that changed the tree, without the
// tree's lock held. An observer must not block waiting for another thread that might be
// changing the same tree.
class CXHtmlTreeObserver {
public:
    virtual ~CXHtmlTreeObserver() = default;
    virtual void itemInserted(CXHtmlTree&, TreeItem /*item*/, TreeItem /*parent*/) {}
    // `item` and everything below it are gone.
    virtual void itemRemoved(CXHtmlTree&, TreeItem /*item*/, TreeItem /*parent*/) {}
    // Text, colour or image changed.
    virtual void itemChanged(CXHtmlTree&, TreeItem) {}
    // setCheck on `item` (its descendants and ancestors may have changed too).
    virtual void checkChanged(CXHtmlTree&, TreeItem, bool /*checked*/) {}
    // An item was marked expanded for the first time by expandItem.
    virtual void itemExpanded(CXHtmlTree&, TreeItem) {}
    // expandItem asks the view to show the item's children.
    virtual void expandRequested(CXHtmlTree&, TreeItem) {}
    // The user clicked the item's label.
    virtual void labelClicked(CXHtmlTree&, TreeItem) {}
    // The user opens the item in the view (before its children are shown).
    virtual void itemExpanding(CXHtmlTree&, TreeItem) {}
    virtual void itemDoubleClicked(CXHtmlTree&, TreeItem) {}
};

// Everything a view needs about one item, read under one lock.
struct TreeItemInfo {
    TreeItem parent = kTreeRoot;
    std::string text;
    int image = 0;
    int selectedImage = 0;
    uint32_t textColor = kNoTextColor;
    int checkState = kCheckUnchecked;
    bool hasChildren = false;
};

class CXHtmlTree {
public:
    CXHtmlTree() = default;
    CXHtmlTree(const CXHtmlTree&) = delete;
    CXHtmlTree& operator=(const CXHtmlTree&) = delete;

    // Appends a child of `parent` (kTreeRoot for a top-level item); returns 0 when `parent`
    // does not exist. A new item is unchecked.
    TreeItem insertItem(const std::string& text, int image = 0, int selectedImage = 0,
                        TreeItem parent = kTreeRoot);

    bool exists(TreeItem item) const;
    bool itemHasChildren(TreeItem item) const;
    TreeItem firstChild(TreeItem item) const;
    TreeItem nextSibling(TreeItem item) const;
    TreeItem parentItem(TreeItem item) const;
    std::vector<TreeItem> children(TreeItem item) const;
    size_t childCount(TreeItem item) const;
    size_t size() const; // number of items

    void deleteItem(TreeItem item);
    void deleteChildren(TreeItem item);
    void clear();

    std::string itemText(TreeItem item) const;
    void setItemText(TreeItem item, const std::string& text);
    void setItemData(TreeItem item, uint64_t data);
    uint64_t itemData(TreeItem item) const;
    void setItemTextColor(TreeItem item, uint32_t rgb);
    uint32_t itemTextColor(TreeItem item) const;
    int itemImage(TreeItem item) const;
    int itemSelectedImage(TreeItem item) const;
    void setItemImage(TreeItem item, int image, int selectedImage);
    bool itemInfo(TreeItem item, TreeItemInfo& info) const;

    // Sets the item's check; everything below it follows, every ancestor's counts and state
    // are brought up to date.
    void setCheck(TreeItem item, bool checked);
    // For an item with children: true only when all of its children are checked; otherwise
    // the item's own flag.
    bool isChecked(TreeItem item) const;
    int checkState(TreeItem item) const; // kCheckUnchecked, kCheckChecked or kCheckMixed
    // Items for which isChecked holds, over the whole tree.
    int countChecked() const;

    bool isExpandedMarked(TreeItem item) const;
    // The programmatic expand: when the item has children, mark it expanded and, the first
    // time, notify itemExpanded; then ask the view to expand it.
    void expandItem(TreeItem item);

    // User actions, sent by the view.
    void clickLabel(TreeItem item);
    void notifyExpanding(TreeItem item);
    void notifyDoubleClick(TreeItem item);

    void addObserver(CXHtmlTreeObserver* observer);
    // After this returns no notification for `observer` is in progress on another thread.
    void removeObserver(CXHtmlTreeObserver* observer);

private:
    struct Node {
        TreeItem parent = kTreeRoot;
        TreeItem firstChild = 0, lastChild = 0, prev = 0, next = 0;
        std::string text;
        int image = 0, selectedImage = 0;
        uint64_t data = 0;
        uint32_t color = kNoTextColor;
        bool checked = false;
        bool expandedMarked = false;
        int state = kCheckUnchecked; // cached display state
        size_t childCount = 0;
        size_t checkedChildren = 0; // children whose state is checked
        size_t mixedChildren = 0;   // children whose state is mixed
    };

    enum class Event { Inserted, Removed, Changed, Check, Expanded, ExpandRequested, Label, Expanding, DoubleClick };
    struct Pending {
        Event event;
        TreeItem item;
        TreeItem parent;
        bool flag;
    };

    Node* find(TreeItem item);
    const Node* find(TreeItem item) const;
    int computeState(const Node& n) const;
    void countChild(Node& parent, int state, int delta);
    void updateAncestors(TreeItem item, int oldState, int newState);
    void setSubtree(TreeItem item, bool checked);
    void unlink(TreeItem item);
    void eraseSubtree(TreeItem item);
    void dispatch(const std::vector<Pending>& events);
    bool stillObserving(CXHtmlTreeObserver* observer);

    mutable std::mutex mutex_;
    std::unordered_map<TreeItem, Node> nodes_;
    Node root_;
    TreeItem nextId_ = 1;

    std::mutex observerMutex_;
    std::condition_variable dispatchDone_;
    std::vector<CXHtmlTreeObserver*> observers_;
    std::vector<std::thread::id> dispatching_; // threads inside dispatch()
};

} // namespace velmora
