#include "ui/CCheckListCtrl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStyledItemDelegate>

namespace velmora {

namespace {

constexpr int kDataRole = Qt::UserRole + 1;

class Delegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    using QStyledItemDelegate::initStyleOption;
};

} // namespace

CCheckHeadCtrl::CCheckHeadCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setHighlightSections(false);
    setSectionsMovable(false);
}

CCheckListCtrl::CCheckListCtrl(QWidget* parent) : QTreeWidget(parent), header_(new CCheckHeadCtrl(this)) {
    setHeader(header_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new Delegate(this));
    setColumnCount(0);
    header_->setSectionsClickable(true); // the tree view turns it off when taking the header
    connect(header_, &QHeaderView::sectionClicked, this, &CCheckListCtrl::headerClicked);
}

QIcon CCheckListCtrl::boxIcon(bool checked) const {
    // The style's own check box, drawn into the header's icon.
    int size = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
    if (size <= 0)
        size = 13;
    qreal dpr = devicePixelRatioF();
    QPixmap pm(QSize(size, size) * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    QStyleOptionButton opt;
    opt.initFrom(this);
    opt.rect = QRect(0, 0, size, size);
    opt.state = QStyle::State_Enabled | (checked ? QStyle::State_On : QStyle::State_Off);
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &opt, &p, this);
    p.end();
    return QIcon(pm);
}

void CCheckListCtrl::initCheckHeader() {
    if (initialised_)
        return;
    initialised_ = true;
    setHeaderImage(kUnchecked);
}

void CCheckListCtrl::setHeaderImage(int image) {
    if (headerImage_ == image)
        return;
    headerImage_ = image;
    if (columnCount() > 0)
        headerItem()->setIcon(0, boxIcon(image == kChecked));
}

void CCheckListCtrl::headerClicked(int column) {
    if (!initialised_ || column != 0)
        return;
    setHeaderImage(headerImage_ == kChecked ? kUnchecked : kChecked);
    bool on = headerImage_ == kChecked;
    for (int i = 0; i < topLevelItemCount(); ++i)
        topLevelItem(i)->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
    // Every row now agrees with the header; nothing to look up.
    for (int i = 0; i < topLevelItemCount(); ++i)
        emit rowStateChanged(i);
}

void CCheckListCtrl::rowChanged(int row) {
    if (initialised_) {
        int image = kChecked;
        for (int i = 0; i < topLevelItemCount(); ++i) {
            if (topLevelItem(i)->checkState(0) != Qt::Checked) {
                image = kUnchecked;
                break;
            }
        }
        setHeaderImage(image);
    }
    emit rowStateChanged(row);
}

int CCheckListCtrl::insertColumn(int column, const QString& title, int width) {
    int count = columnCount();
    column = std::clamp(column, 0, count);
    QStringList labels;
    for (int i = 0; i < count; ++i)
        labels << headerItem()->text(i);
    labels.insert(column, title);
    QIcon firstIcon = count > 0 ? headerItem()->icon(0) : QIcon();
    setColumnCount(count + 1);
    setHeaderLabels(labels);
    if (initialised_)
        headerItem()->setIcon(0, boxIcon(headerImage_ == kChecked));
    else if (!firstIcon.isNull() && column != 0)
        headerItem()->setIcon(0, firstIcon);
    setColumnWidth(column, width);
    return column;
}

int CCheckListCtrl::insertItem(int row, const QString& text) {
    row = std::clamp(row, 0, topLevelItemCount());
    auto* item = new QTreeWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setText(0, text);
    item->setCheckState(0, Qt::Unchecked);
    insertTopLevelItem(row, item);
    rowChanged(row);
    return row;
}

void CCheckListCtrl::setItemText(int row, int column, const QString& text) {
    if (QTreeWidgetItem* item = topLevelItem(row); item && column >= 0 && column < columnCount())
        item->setText(column, text);
}

QString CCheckListCtrl::itemText(int row, int column) const {
    QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->text(column) : QString();
}

void CCheckListCtrl::setItemData(int row, quint64 data) {
    if (QTreeWidgetItem* item = topLevelItem(row))
        item->setData(0, kDataRole, QVariant::fromValue<qulonglong>(data));
}

quint64 CCheckListCtrl::itemData(int row) const {
    QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->data(0, kDataRole).toULongLong() : 0;
}

int CCheckListCtrl::itemCount() const { return topLevelItemCount(); }

void CCheckListCtrl::deleteItem(int row) { delete takeTopLevelItem(row); }

void CCheckListCtrl::deleteAllItems() { clear(); }

void CCheckListCtrl::setCheck(int row, bool checked) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item)
        return;
    Qt::CheckState state = checked ? Qt::Checked : Qt::Unchecked;
    if (item->checkState(0) == state)
        return;
    item->setCheckState(0, state);
    rowChanged(row);
}

bool CCheckListCtrl::getCheck(int row) const { return stateImage(row) == kChecked; }

int CCheckListCtrl::stateImage(int row) const {
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item)
        return 0;
    return item->checkState(0) == Qt::Checked ? kChecked : kUnchecked;
}

QRect CCheckListCtrl::checkBoxRect(int row) const {
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item)
        return {};
    QModelIndex index = indexFromItem(item, 0);
    QStyleOptionViewItem opt;
    initViewItemOption(&opt);
    opt.rect = visualRect(index);
    static_cast<Delegate*>(itemDelegate())->initStyleOption(&opt, index);
    return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, this);
}

void CCheckListCtrl::mousePressEvent(QMouseEvent* event) {
    QPoint pos = event->position().toPoint();
    QTreeWidgetItem* item = itemAt(pos);
    int row = item ? indexOfTopLevelItem(item) : -1;
    if (item && event->button() == Qt::LeftButton && checkBoxRect(row).contains(pos)) {
        int before = stateImage(row);
        emit checkBoxClicked(row, before);
        // The handler may have changed or refilled the list.
        if (topLevelItem(row) == item) {
            item->setCheckState(0, before == kChecked ? Qt::Unchecked : Qt::Checked);
            rowChanged(row);
        }
        emit rowClicked(row);
        return;
    }
    QTreeWidget::mousePressEvent(event);
    if (item && event->button() == Qt::LeftButton)
        emit rowClicked(row);
}

void CCheckListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    QPoint pos = event->position().toPoint();
    QTreeWidgetItem* item = itemAt(pos);
    int row = item ? indexOfTopLevelItem(item) : -1;
    if (item && checkBoxRect(row).contains(pos)) {
        mousePressEvent(event);
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
    if (item)
        emit rowDoubleClicked(row);
}

void CCheckListCtrl::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && currentItem()) {
        int row = indexOfTopLevelItem(currentItem());
        int before = stateImage(row);
        emit checkBoxClicked(row, before);
        setCheck(row, before != kChecked);
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

} // namespace velmora
