#include "ui/CXHtmlTree.h"

#include <algorithm>
#include <cctype>
#include <thread>

namespace velmora {

namespace {

std::mutex g_extensionMutex;
std::unordered_map<std::string, int> g_extensionImages;
std::vector<std::string> g_imageExtensions;

} // namespace

int fileImageIndex(const std::string& fileName) {
    auto dot = fileName.rfind('.');
    if (dot == std::string::npos || dot + 1 >= fileName.size())
        return kGenericFileImage;
    std::string ext = fileName.substr(dot + 1);
    // A "name" like "a.b/c" has no extension of its own.
    if (ext.find('/') != std::string::npos || ext.find('\\') != std::string::npos)
        return kGenericFileImage;
    for (auto& c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    std::lock_guard lock(g_extensionMutex);
    auto it = g_extensionImages.find(ext);
    if (it != g_extensionImages.end())
        return it->second;
    // Volumes can hold millions of junk extensions; past this many they share the generic icon.
    if (g_imageExtensions.size() >= 4096)
        return kGenericFileImage;
    int index = kFirstExtensionImage + int(g_imageExtensions.size());
    g_imageExtensions.push_back(ext);
    g_extensionImages.emplace(ext, index);
    return index;
}

std::string imageExtension(int image) {
    std::lock_guard lock(g_extensionMutex);
    if (image < kFirstExtensionImage || size_t(image - kFirstExtensionImage) >= g_imageExtensions.size())
        return {};
    return g_imageExtensions[size_t(image - kFirstExtensionImage)];
}

CXHtmlTree::Node* CXHtmlTree::find(TreeItem item) {
    if (item == kTreeRoot)
        return &root_;
    auto it = nodes_.find(item);
    return it == nodes_.end() ? nullptr : &it->second;
}

const CXHtmlTree::Node* CXHtmlTree::find(TreeItem item) const {
    if (item == kTreeRoot)
        return &root_;
    auto it = nodes_.find(item);
    return it == nodes_.end() ? nullptr : &it->second;
}

int CXHtmlTree::computeState(const Node& n) const {
    if (n.childCount == 0)
        return n.checked ? kCheckChecked : kCheckUnchecked;
    if (n.checkedChildren == n.childCount)
        return kCheckChecked;
    // A parent whose only ticks are deeper down (a mixed child) is mixed, not unchecked.
    if (n.checkedChildren == 0 && n.mixedChildren == 0)
        return kCheckUnchecked;
    return kCheckMixed;
}

void CXHtmlTree::countChild(Node& parent, int state, int delta) {
    if (state == kCheckChecked)
        parent.checkedChildren = size_t(int64_t(parent.checkedChildren) + delta);
    else if (state == kCheckMixed)
        parent.mixedChildren = size_t(int64_t(parent.mixedChildren) + delta);
}

// `item` went from oldState to newState: bring its ancestors' counts and states up to date.
void CXHtmlTree::updateAncestors(TreeItem item, int oldState, int newState) {
    while (oldState != newState && item != kTreeRoot) {
        Node* n = find(item);
        if (!n)
            return;
        TreeItem p = n->parent;
        Node* pn = find(p);
        if (!pn)
            return;
        countChild(*pn, oldState, -1);
        countChild(*pn, newState, +1);
        oldState = pn->state;
        pn->state = computeState(*pn);
        if (pn->childCount > 0)
            pn->checked = pn->state == kCheckChecked;
        newState = pn->state;
        item = p;
    }
}

void CXHtmlTree::setSubtree(TreeItem item, bool checked) {
    std::vector<TreeItem> stack{item};
    while (!stack.empty()) {
        TreeItem cur = stack.back();
        stack.pop_back();
        Node* n = find(cur);
        if (!n)
            continue;
        n->checked = checked;
        n->checkedChildren = checked ? n->childCount : 0;
        n->mixedChildren = 0;
        n->state = checked ? kCheckChecked : kCheckUnchecked;
        for (TreeItem c = n->firstChild; c; c = find(c)->next)
            stack.push_back(c);
    }
}

TreeItem CXHtmlTree::insertItem(const std::string& text, int image, int selectedImage, TreeItem parent) {
    TreeItem id;
    {
        std::lock_guard lock(mutex_);
        Node* pn = find(parent);
        if (!pn)
            return 0;
        id = nextId_++;
        Node n;
        n.parent = parent;
        n.text = text;
        n.image = image;
        n.selectedImage = selectedImage;
        n.prev = pn->lastChild;
        if (pn->lastChild)
            find(pn->lastChild)->next = id;
        else
            pn->firstChild = id;
        pn->lastChild = id;
        nodes_.emplace(id, std::move(n));
        pn = find(parent); // emplace may rehash
        ++pn->childCount;
        int old = pn->state;
        pn->state = computeState(*pn);
        if (pn->childCount > 0)
            pn->checked = pn->state == kCheckChecked;
        updateAncestors(parent, old, pn->state);
    }
    dispatch({{Event::Inserted, id, parent, false}});
    return id;
}

bool CXHtmlTree::exists(TreeItem item) const {
    std::lock_guard lock(mutex_);
    return item != kTreeRoot && find(item) != nullptr;
}

bool CXHtmlTree::itemHasChildren(TreeItem item) const {
    std::lock_guard lock(mutex_);
    const Node* n = find(item);
    return n && n->firstChild != 0;
}

TreeItem CXHtmlTree::firstChild(TreeItem item) const {
    std::lock_guard lock(mutex_);
    const Node* n = find(item);
    return n ? n->firstChild : 0;
}

TreeItem CXHtmlTree::nextSibling(TreeItem item) const {
    std::lock_guard lock(mutex_);
    const Node* n = item == kTreeRoot ? nullptr : find(item);
    return n ? n->next : 0;
}

TreeItem CXHtmlTree::parentItem(TreeItem item) const {
    std::lock_guard lock(mutex_);
    const Node* n = item == kTreeRoot ? nullptr : find(item);
    return n ? n->parent : 0;
}

std::vector<TreeItem> CXHtmlTree::children(TreeItem item) const {
    std::lock_guard lock(mutex_);
    std::vector<TreeItem> out;
    const Node* n = find(item);
    if (!n)
        return out;
    out.reserve(n->childCount);
    for (TreeItem c = n->firstChild; c; c = find(c)->next)
        out.push_back(c);
    return out;
}

size_t CXHtmlTree::childCount(TreeItem item) const {
    std::lock_guard lock(mutex_);
    const Node* n = find(item);
    return n ? n->childCount : 0;
}

size_t CXHtmlTree::size() const {
    std::lock_guard lock(mutex_);
    return nodes_.size();
}

void CXHtmlTree::unlink(TreeItem item) {
    Node* n = find(item);
    Node* pn = find(n->parent);
    if (n->prev)
        find(n->prev)->next = n->next;
    else
        pn->firstChild = n->next;
    if (n->next)
        find(n->next)->prev = n->prev;
    else
        pn->lastChild = n->prev;
    --pn->childCount;
    countChild(*pn, n->state, -1);
    int old = pn->state;
    pn->state = computeState(*pn);
    if (pn->childCount > 0)
        pn->checked = pn->state == kCheckChecked;
    updateAncestors(n->parent, old, pn->state);
}

void CXHtmlTree::eraseSubtree(TreeItem item) {
    std::vector<TreeItem> stack{item};
    while (!stack.empty()) {
        TreeItem cur = stack.back();
        stack.pop_back();
        auto it = nodes_.find(cur);
        if (it == nodes_.end())
            continue;
        for (TreeItem c = it->second.firstChild; c; c = nodes_.at(c).next)
            stack.push_back(c);
        nodes_.erase(it);
    }
}

void CXHtmlTree::deleteItem(TreeItem item) {
    TreeItem parent;
    {
        std::lock_guard lock(mutex_);
        Node* n = item == kTreeRoot ? nullptr : find(item);
        if (!n)
            return;
        parent = n->parent;
        unlink(item);
        eraseSubtree(item);
    }
    dispatch({{Event::Removed, item, parent, false}});
}

void CXHtmlTree::deleteChildren(TreeItem item) {
    std::vector<Pending> events;
    {
        std::lock_guard lock(mutex_);
        Node* n = find(item);
        if (!n)
            return;
        while (TreeItem c = find(item)->firstChild) {
            unlink(c);
            eraseSubtree(c);
            events.push_back({Event::Removed, c, item, false});
        }
    }
    dispatch(events);
}

void CXHtmlTree::clear() { deleteChildren(kTreeRoot); }

std::string CXHtmlTree::itemText(TreeItem item) const {
    std::lock_guard lock(mutex_);
    const Node* n = find(item);
    return n ? n->text : std::string();
}

void CXHtmlTree::setItemText(TreeItem item, const std::string& text) {
    {
        std::lock_guard lock(mutex_);
        Node* n = item == kTreeRoot ? nullptr : find(item);
        if (!n)
            return;
        n->text = text;
    }
    dispatch({{Event::Changed, item, 0, false}});
}

void CXHtmlTree::setItemData(TreeItem item, uint64_t data) {
    std::lock_guard lock(mutex_);
    if (Node* n = item == kTreeRoot ? nullptr : find(item))
        n->data = data;
}

uint64_t CXHtmlTree::itemData(TreeItem item) const {
    std::lock_guard lock(mutex_);
    const Node* n = item == kTreeRoot ? nullptr : find(item);
    return n ? n->data : 0;
}

void CXHtmlTree::setItemTextColor(TreeItem item, uint32_t rgb) {
    {
        std::lock_guard lock(mutex_);
        Node* n = item == kTreeRoot ? nullptr : find(item);
        if (!n)
            return;
        n->color = rgb;
    }
    dispatch({{Event::Changed, item, 0, false}});
}

uint32_t CXHtmlTree::itemTextColor(TreeItem item) const {
    std::lock_guard lock(mutex_);
    const Node* n = item == kTreeRoot ? nullptr : find(item);
    return n ? n->color : kNoTextColor;
}

int CXHtmlTree::itemImage(TreeItem item) const {
    std::lock_guard lock(mutex_);
    const Node* n = item == kTreeRoot ? nullptr : find(item);
    return n ? n->image : 0;
}

int CXHtmlTree::itemSelectedImage(TreeItem item) const {
    std::lock_guard lock(mutex_);
    const Node* n = item == kTreeRoot ? nullptr : find(item);
    return n ? n->selectedImage : 0;
}

void CXHtmlTree::setItemImage(TreeItem item, int image, int selectedImage) {
    {
        std::lock_guard lock(mutex_);
        Node* n = item == kTreeRoot ? nullptr : find(item);
        if (!n)
            return;
        n->image = image;
        n->selectedImage = selectedImage;
    }
    dispatch({{Event::Changed, item, 0, false}});
}

bool CXHtmlTree::itemInfo(TreeItem item, TreeItemInfo& info) const {
    std::lock_guard lock(mutex_);
    const Node* n = item == kTreeRoot ? nullptr : find(item);
    if (!n)
        return false;
    info.parent = n->parent;
    info.text = n->text;
    info.image = n->image;
    info.selectedImage = n->selectedImage;
    info.textColor = n->color;
    info.checkState = n->state;
    info.hasChildren = n->firstChild != 0;
    return true;
}

void CXHtmlTree::setCheck(TreeItem item, bool checked) {
    {
        std::lock_guard lock(mutex_);
        Node* n = item == kTreeRoot ? nullptr : find(item);
        if (!n)
            return;
        int old = n->state;
        setSubtree(item, checked);
        updateAncestors(item, old, find(item)->state);
    }
    dispatch({{Event::Check, item, 0, checked}});
}

bool CXHtmlTree::isChecked(TreeItem item) const {
    std::lock_guard lock(mutex_);
    const Node* n = item == kTreeRoot ? nullptr : find(item);
    if (!n)
        return false;
    if (n->childCount > 0)
        return n->checkedChildren == n->childCount;
    return n->checked;
}

int CXHtmlTree::checkState(TreeItem item) const {
    std::lock_guard lock(mutex_);
    const Node* n = item == kTreeRoot ? nullptr : find(item);
    return n ? n->state : kCheckUnchecked;
}

int CXHtmlTree::countChecked() const {
    std::lock_guard lock(mutex_);
    int count = 0;
    // Display order: depth first, children in order.
    std::vector<TreeItem> stack;
    for (TreeItem c = root_.lastChild; c; c = find(c)->prev)
        stack.push_back(c);
    while (!stack.empty()) {
        const Node* n = find(stack.back());
        stack.pop_back();
        bool checked = n->childCount > 0 ? n->checkedChildren == n->childCount : n->checked;
        if (checked)
            ++count;
        for (TreeItem c = n->lastChild; c; c = find(c)->prev)
            stack.push_back(c);
    }
    return count;
}

bool CXHtmlTree::isExpandedMarked(TreeItem item) const {
    std::lock_guard lock(mutex_);
    const Node* n = item == kTreeRoot ? nullptr : find(item);
    return n && n->expandedMarked;
}

void CXHtmlTree::expandItem(TreeItem item) {
    std::vector<Pending> events;
    {
        std::lock_guard lock(mutex_);
        Node* n = item == kTreeRoot ? nullptr : find(item);
        if (!n)
            return;
        if (n->firstChild) {
            if (!n->expandedMarked)
                events.push_back({Event::Expanded, item, 0, true});
            n->expandedMarked = true;
        }
        events.push_back({Event::ExpandRequested, item, 0, true});
    }
    dispatch(events);
}

void CXHtmlTree::clickLabel(TreeItem item) {
    if (exists(item))
        dispatch({{Event::Label, item, 0, false}});
}

void CXHtmlTree::notifyExpanding(TreeItem item) {
    if (exists(item))
        dispatch({{Event::Expanding, item, 0, false}});
}

void CXHtmlTree::notifyDoubleClick(TreeItem item) {
    if (exists(item))
        dispatch({{Event::DoubleClick, item, 0, false}});
}

void CXHtmlTree::addObserver(CXHtmlTreeObserver* observer) {
    std::lock_guard lock(observerMutex_);
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void CXHtmlTree::removeObserver(CXHtmlTreeObserver* observer) {
    std::unique_lock lock(observerMutex_);
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
    // Wait for notifications running on other threads; ours (a callback removing an
    // observer) would never finish while we wait.
    auto self = std::this_thread::get_id();
    dispatchDone_.wait(lock, [&] {
        return std::all_of(dispatching_.begin(), dispatching_.end(), [&](auto id) { return id == self; });
    });
}

bool CXHtmlTree::stillObserving(CXHtmlTreeObserver* observer) {
    std::lock_guard lock(observerMutex_);
    return std::find(observers_.begin(), observers_.end(), observer) != observers_.end();
}

void CXHtmlTree::dispatch(const std::vector<Pending>& events) {
    if (events.empty())
        return;
    std::vector<CXHtmlTreeObserver*> observers;
    {
        std::lock_guard lock(observerMutex_);
        if (observers_.empty())
            return;
        observers = observers_;
        dispatching_.push_back(std::this_thread::get_id());
    }
    // Observers are called without any lock held so that one may wait for another thread
    // (a page answering on the GUI thread) without blocking changes to the tree.
    for (const Pending& e : events) {
        for (CXHtmlTreeObserver* o : observers) {
            if (!stillObserving(o))
                continue;
            switch (e.event) {
            case Event::Inserted: o->itemInserted(*this, e.item, e.parent); break;
            case Event::Removed: o->itemRemoved(*this, e.item, e.parent); break;
            case Event::Changed: o->itemChanged(*this, e.item); break;
            case Event::Check: o->checkChanged(*this, e.item, e.flag); break;
            case Event::Expanded: o->itemExpanded(*this, e.item); break;
            case Event::ExpandRequested: o->expandRequested(*this, e.item); break;
            case Event::Label: o->labelClicked(*this, e.item); break;
            case Event::Expanding: o->itemExpanding(*this, e.item); break;
            case Event::DoubleClick: o->itemDoubleClicked(*this, e.item); break;
            }
        }
    }
    {
        std::lock_guard lock(observerMutex_);
        auto it = std::find(dispatching_.begin(), dispatching_.end(), std::this_thread::get_id());
        if (it != dispatching_.end())
            dispatching_.erase(it);
    }
    dispatchDone_.notify_all();
}

} // namespace velmora
