// The Qt view of a CXHtmlTree: three-state check boxes, icons, coloured text. The model may
// be changed from any thread; the view follows on the GUI thread.
#pragma once

#include "ui/CUseShGetFileInfo.h"
#include "ui/CXHtmlTree.h"

#include <QHash>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

class QStyledItemDelegate;

namespace velmora {

class CXHtmlTreeWidget : public QTreeWidget {
    Q_OBJECT
public:
    // Shows `model` (not owned) or, when null, a tree of its own.
    explicit CXHtmlTreeWidget(QWidget* parent = nullptr, CXHtmlTree* model = nullptr);
    ~CXHtmlTreeWidget() override;

    CXHtmlTree& tree() { return *model_; }

    // Overrides the icon of one image index (for example a drive image for the drive list).
    void setImageIcon(int image, const QIcon& icon);

    // Check boxes are shown unless turned off (a plain list of drives has none).
    void setCheckBoxesVisible(bool visible);
    bool checkBoxesVisible() const { return showChecks_; }

    // Applies pending model changes now instead of on the next turn of the event loop.
    void syncNow();

    QTreeWidgetItem* widgetItem(TreeItem item) const;
    TreeItem treeItem(const QTreeWidgetItem* item) const;
    // Where the check box and the label of an item are drawn, in viewport coordinates.
    QRect checkBoxRect(TreeItem item) const;
    QRect labelRect(TreeItem item) const;

signals:
    // All on the GUI thread.
    void labelClicked(quint64 item);           // a click on an item's label
    void itemExpanding(quint64 item);          // the user opens an item
    void itemExpandedFirstTime(quint64 item);  // expandItem marked an item expanded
    void checkClicked(quint64 item, bool checked);
    void itemDoubleClicked(quint64 item);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    class Relay;
    struct Pending {
        std::set<TreeItem> parents;  // children changed
        std::set<TreeItem> items;    // text, colour, image changed
        std::set<TreeItem> checks;   // check changed: item, below and above
        std::vector<TreeItem> removed;
        std::vector<TreeItem> expands;
        bool scheduled = false;
    };

    void schedule();
    void sync();
    void runOnGui(std::function<void()> action);
    void reconcile(TreeItem parent);
    QTreeWidgetItem* build(TreeItem item);
    void forget(QTreeWidgetItem* item);
    void refresh(QTreeWidgetItem* w, const TreeItemInfo& info);
    void refreshChecks(TreeItem item);
    void setCheckData(QTreeWidgetItem* w, int state);
    void refreshAncestors(TreeItem item);
    void onExpanded(QTreeWidgetItem* item);
    QStyleOptionViewItem optionFor(const QModelIndex& index) const;
    void emitOnGuiThread(void (CXHtmlTreeWidget::*signal)(quint64), TreeItem item);

    std::unique_ptr<CXHtmlTree> own_;
    CXHtmlTree* model_;
    std::unique_ptr<Relay> relay_;
    CUseShGetFileInfo icons_;
    QHash<int, QIcon> iconOverrides_;
    QHash<TreeItem, QTreeWidgetItem*> items_;
    QStyledItemDelegate* delegate_;
    bool programmaticExpand_ = false;
    bool showChecks_ = true;

    std::mutex pendingMutex_;
    Pending pending_;
};

} // namespace velmora
