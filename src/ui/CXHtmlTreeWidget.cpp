#include "ui/CXHtmlTreeWidget.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QThread>

namespace velmora {

namespace {

constexpr int kIdRole = Qt::UserRole + 1;

// Gives the view the delegate's own option set-up, so hit tests match what is drawn.
class Delegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    using QStyledItemDelegate::initStyleOption;

    // A coloured item keeps a normal check box: only its text takes the colour.
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QVariant colour = index.data(Qt::ForegroundRole);
        if (!colour.isValid() || !index.data(Qt::CheckStateRole).isValid()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem full = option;
        initStyleOption(&full, index);
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &full, widget);

        QStyleOptionViewItem rest = full;
        rest.palette = option.palette;
        rest.text.clear();
        rest.features &= ~QStyleOptionViewItem::HasDisplay;
        style->drawControl(QStyle::CE_ItemViewItem, &rest, painter, widget);

        QStyleOptionViewItem text = full;
        text.rect = textRect;
        text.features = QStyleOptionViewItem::HasDisplay;
        text.icon = QIcon();
        text.checkState = Qt::Unchecked;
        text.state &= ~QStyle::State_HasFocus;
        style->drawControl(QStyle::CE_ItemViewItem, &text, painter, widget);
    }
};

Qt::CheckState qtState(int state) {
    switch (state) {
    case kCheckChecked: return Qt::Checked;
    case kCheckMixed: return Qt::PartiallyChecked;
    default: return Qt::Unchecked;
    }
}

} // namespace

// Receives the model's notifications on whatever thread made the change.
class CXHtmlTreeWidget::Relay final : public CXHtmlTreeObserver {
public:
    explicit Relay(CXHtmlTreeWidget* w) : w_(w) {}

    void itemInserted(CXHtmlTree&, TreeItem, TreeItem parent) override {
        std::lock_guard lock(w_->pendingMutex_);
        w_->pending_.parents.insert(parent);
        w_->schedule();
    }
    void itemRemoved(CXHtmlTree&, TreeItem item, TreeItem parent) override {
        std::lock_guard lock(w_->pendingMutex_);
        w_->pending_.removed.push_back(item);
        w_->pending_.parents.insert(parent);
        w_->schedule();
    }
    void itemChanged(CXHtmlTree&, TreeItem item) override {
        std::lock_guard lock(w_->pendingMutex_);
        w_->pending_.items.insert(item);
        w_->schedule();
    }
    void checkChanged(CXHtmlTree&, TreeItem item, bool checked) override {
        {
            std::lock_guard lock(w_->pendingMutex_);
            w_->pending_.checks.insert(item);
            w_->schedule();
        }
        CXHtmlTreeWidget* w = w_;
        w_->runOnGui([w, item, checked] { emit w->checkClicked(item, checked); });
    }
    void itemExpanded(CXHtmlTree&, TreeItem item) override {
        w_->emitOnGuiThread(&CXHtmlTreeWidget::itemExpandedFirstTime, item);
    }
    void expandRequested(CXHtmlTree&, TreeItem item) override {
        std::lock_guard lock(w_->pendingMutex_);
        w_->pending_.expands.push_back(item);
        w_->schedule();
    }
    void labelClicked(CXHtmlTree&, TreeItem item) override {
        w_->emitOnGuiThread(&CXHtmlTreeWidget::labelClicked, item);
    }
    void itemExpanding(CXHtmlTree&, TreeItem item) override {
        w_->emitOnGuiThread(&CXHtmlTreeWidget::itemExpanding, item);
    }
    void itemDoubleClicked(CXHtmlTree&, TreeItem item) override {
        w_->emitOnGuiThread(&CXHtmlTreeWidget::itemDoubleClicked, item);
    }

private:
    CXHtmlTreeWidget* w_;
};

CXHtmlTreeWidget::CXHtmlTreeWidget(QWidget* parent, CXHtmlTree* model)
    : QTreeWidget(parent), own_(model ? nullptr : std::make_unique<CXHtmlTree>()),
      model_(model ? model : own_.get()), relay_(std::make_unique<Relay>(this)) {
    setHeaderHidden(true);
    setColumnCount(1);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    delegate_ = new Delegate(this);
    setItemDelegate(delegate_);
    connect(this, &QTreeWidget::itemExpanded, this, &CXHtmlTreeWidget::onExpanded);
    model_->addObserver(relay_.get());
    // Items that were in the model before the view existed.
    {
        std::lock_guard lock(pendingMutex_);
        pending_.parents.insert(kTreeRoot);
    }
    sync();
}

CXHtmlTreeWidget::~CXHtmlTreeWidget() { model_->removeObserver(relay_.get()); }

void CXHtmlTreeWidget::setImageIcon(int image, const QIcon& icon) {
    iconOverrides_.insert(image, icon);
    for (auto it = items_.begin(); it != items_.end(); ++it) {
        TreeItemInfo info;
        if (model_->itemInfo(it.key(), info) && info.image == image)
            it.value()->setIcon(0, icon);
    }
}

// Called with pendingMutex_ held.
void CXHtmlTreeWidget::schedule() {
    if (pending_.scheduled)
        return;
    pending_.scheduled = true;
    QMetaObject::invokeMethod(this, [this] { sync(); }, Qt::QueuedConnection);
}

void CXHtmlTreeWidget::syncNow() { sync(); }

void CXHtmlTreeWidget::runOnGui(std::function<void()> action) {
    // Handlers must see every change the model made before the notification.
    if (QThread::currentThread() == thread()) {
        sync();
        action();
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, action = std::move(action)] {
            sync();
            action();
        },
        Qt::QueuedConnection);
}

void CXHtmlTreeWidget::emitOnGuiThread(void (CXHtmlTreeWidget::*signal)(quint64), TreeItem item) {
    runOnGui([this, signal, item] { emit(this->*signal)(item); });
}

QTreeWidgetItem* CXHtmlTreeWidget::widgetItem(TreeItem item) const {
    if (item == kTreeRoot)
        return invisibleRootItem();
    return items_.value(item, nullptr);
}

TreeItem CXHtmlTreeWidget::treeItem(const QTreeWidgetItem* item) const {
    if (!item)
        return kTreeRoot;
    return item->data(0, kIdRole).toULongLong();
}

void CXHtmlTreeWidget::refresh(QTreeWidgetItem* w, const TreeItemInfo& info) {
    w->setText(0, QString::fromStdString(info.text));
    auto over = iconOverrides_.find(info.image);
    w->setIcon(0, over != iconOverrides_.end() ? *over : icons_.iconForIndex(info.image));
    if (info.textColor == kNoTextColor)
        w->setData(0, Qt::ForegroundRole, QVariant());
    else
        w->setForeground(0, QColor(QRgb(0xFF000000u | info.textColor)));
    setCheckData(w, info.checkState);
}

void CXHtmlTreeWidget::setCheckData(QTreeWidgetItem* w, int state) {
    if (showChecks_)
        w->setData(0, Qt::CheckStateRole, qtState(state));
    else
        w->setData(0, Qt::CheckStateRole, QVariant());
}

void CXHtmlTreeWidget::setCheckBoxesVisible(bool visible) {
    if (showChecks_ == visible)
        return;
    showChecks_ = visible;
    for (auto it = items_.begin(); it != items_.end(); ++it)
        setCheckData(it.value(), model_->checkState(it.key()));
}

QTreeWidgetItem* CXHtmlTreeWidget::build(TreeItem item) {
    // Iterative: a corrupt volume may nest folders very deeply.
    TreeItemInfo info;
    if (!model_->itemInfo(item, info))
        return nullptr;
    auto* top = new QTreeWidgetItem;
    top->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    top->setData(0, kIdRole, QVariant::fromValue<qulonglong>(item));
    refresh(top, info);
    items_.insert(item, top);
    std::vector<std::pair<TreeItem, QTreeWidgetItem*>> stack{{item, top}};
    while (!stack.empty()) {
        auto [id, w] = stack.back();
        stack.pop_back();
        QList<QTreeWidgetItem*> kids;
        for (TreeItem c : model_->children(id)) {
            TreeItemInfo ci;
            if (!model_->itemInfo(c, ci))
                continue;
            auto* k = new QTreeWidgetItem;
            k->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            k->setData(0, kIdRole, QVariant::fromValue<qulonglong>(c));
            refresh(k, ci);
            items_.insert(c, k);
            kids.append(k);
            if (ci.hasChildren)
                stack.emplace_back(c, k);
        }
        w->addChildren(kids);
    }
    return top;
}

void CXHtmlTreeWidget::forget(QTreeWidgetItem* item) {
    std::vector<QTreeWidgetItem*> stack{item};
    while (!stack.empty()) {
        QTreeWidgetItem* w = stack.back();
        stack.pop_back();
        items_.remove(treeItem(w));
        for (int i = 0; i < w->childCount(); ++i)
            stack.push_back(w->child(i));
    }
}

void CXHtmlTreeWidget::reconcile(TreeItem parent) {
    QTreeWidgetItem* pw = widgetItem(parent);
    if (!pw)
        return;
    std::vector<TreeItem> model = model_->children(parent);
    std::set<TreeItem> wanted(model.begin(), model.end());
    for (int i = pw->childCount() - 1; i >= 0; --i) {
        QTreeWidgetItem* c = pw->child(i);
        if (!wanted.count(treeItem(c))) {
            forget(c);
            delete pw->takeChild(i);
        }
    }
    // The model only appends and removes, so the kept items are in model order already.
    QList<QTreeWidgetItem*> tail;
    int k = 0;
    for (TreeItem id : model) {
        if (tail.isEmpty() && k < pw->childCount() && treeItem(pw->child(k)) == id) {
            ++k;
            continue;
        }
        QTreeWidgetItem* w = items_.value(id, nullptr);
        if (w) // already shown elsewhere: cannot happen with this model, keep the view sane
            continue;
        w = build(id);
        if (!w)
            continue;
        if (k < pw->childCount() && tail.isEmpty())
            pw->insertChild(k++, w);
        else
            tail.append(w);
    }
    if (!tail.isEmpty())
        pw->addChildren(tail);
}

void CXHtmlTreeWidget::refreshChecks(TreeItem item) {
    QTreeWidgetItem* top = widgetItem(item);
    if (!top)
        return;
    std::vector<QTreeWidgetItem*> stack{top};
    while (!stack.empty()) {
        QTreeWidgetItem* w = stack.back();
        stack.pop_back();
        if (w != invisibleRootItem())
            setCheckData(w, model_->checkState(treeItem(w)));
        for (int i = 0; i < w->childCount(); ++i)
            stack.push_back(w->child(i));
    }
}

void CXHtmlTreeWidget::refreshAncestors(TreeItem item) {
    for (TreeItem p = item; p != kTreeRoot; p = model_->parentItem(p)) {
        if (QTreeWidgetItem* w = widgetItem(p))
            setCheckData(w, model_->checkState(p));
    }
}

void CXHtmlTreeWidget::sync() {
    Pending work;
    {
        std::lock_guard lock(pendingMutex_);
        work = std::move(pending_);
        pending_ = Pending{};
    }
    for (TreeItem id : work.removed) {
        if (QTreeWidgetItem* w = items_.value(id, nullptr)) {
            forget(w);
            delete w;
        }
    }
    for (TreeItem p : work.parents) {
        reconcile(p);
        refreshAncestors(p);
    }
    for (TreeItem id : work.items) {
        TreeItemInfo info;
        if (QTreeWidgetItem* w = items_.value(id, nullptr); w && model_->itemInfo(id, info))
            refresh(w, info);
    }
    for (TreeItem id : work.checks) {
        refreshChecks(id);
        refreshAncestors(model_->parentItem(id));
    }
    for (TreeItem id : work.expands) {
        QTreeWidgetItem* w = items_.value(id, nullptr);
        if (w && w->childCount() > 0 && !w->isExpanded()) {
            programmaticExpand_ = true;
            w->setExpanded(true);
            programmaticExpand_ = false;
        }
    }
}

void CXHtmlTreeWidget::onExpanded(QTreeWidgetItem* item) {
    if (programmaticExpand_)
        return;
    model_->notifyExpanding(treeItem(item));
    sync();
}

QStyleOptionViewItem CXHtmlTreeWidget::optionFor(const QModelIndex& index) const {
    QStyleOptionViewItem opt;
    initViewItemOption(&opt);
    opt.rect = visualRect(index);
    static_cast<Delegate*>(delegate_)->initStyleOption(&opt, index);
    return opt;
}

QRect CXHtmlTreeWidget::checkBoxRect(TreeItem item) const {
    QTreeWidgetItem* w = widgetItem(item);
    if (!w || item == kTreeRoot || !showChecks_)
        return {};
    QModelIndex index = indexFromItem(w);
    QStyleOptionViewItem opt = optionFor(index);
    return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, this);
}

QRect CXHtmlTreeWidget::labelRect(TreeItem item) const {
    QTreeWidgetItem* w = widgetItem(item);
    if (!w || item == kTreeRoot)
        return {};
    QModelIndex index = indexFromItem(w);
    QStyleOptionViewItem opt = optionFor(index);
    QRect text = style()->subElementRect(QStyle::SE_ItemViewItemText, &opt, this);
    // Only the text itself, not the empty rest of the row.
    int width = opt.fontMetrics.horizontalAdvance(opt.text) + 6;
    text.setWidth(std::min(text.width(), width));
    return text;
}

void CXHtmlTreeWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QTreeWidget::mousePressEvent(event);
        return;
    }
    QPoint pos = event->position().toPoint();
    QTreeWidgetItem* w = itemAt(pos);
    TreeItem id = treeItem(w);
    if (w && checkBoxRect(id).contains(pos)) {
        setCurrentItem(w);
        model_->setCheck(id, model_->checkState(id) != kCheckChecked);
        sync();
        return;
    }
    QTreeWidget::mousePressEvent(event); // selection, branch arrows
    if (w && labelRect(id).contains(pos))
        model_->clickLabel(id);
}

void CXHtmlTreeWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    QPoint pos = event->position().toPoint();
    QTreeWidgetItem* w = itemAt(pos);
    if (w && checkBoxRect(treeItem(w)).contains(pos)) {
        // A quick second click on the box is another toggle, not a double-click.
        mousePressEvent(event);
        return;
    }
    if (w && event->button() == Qt::LeftButton)
        model_->notifyDoubleClick(treeItem(w));
    QTreeWidget::mouseDoubleClickEvent(event);
}

void CXHtmlTreeWidget::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && currentItem() && showChecks_) {
        TreeItem id = treeItem(currentItem());
        model_->setCheck(id, model_->checkState(id) != kCheckChecked);
        sync();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

} // namespace velmora
