// A report list with a check box in front of every row, and a header whose first column
// shows a check box that ticks or clears every row and follows the rows' state.
#pragma once

#include <QHeaderView>
#include <QTreeWidget>

namespace velmora {

// The header: reports clicks and draws the first column's box through its icon.
class CCheckHeadCtrl : public QHeaderView {
    Q_OBJECT
public:
    explicit CCheckHeadCtrl(QWidget* parent = nullptr);
};

class CCheckListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    // Row and header states, numbered like the state images: 1 unchecked, 2 checked.
    static constexpr int kUnchecked = 1;
    static constexpr int kChecked = 2;

    explicit CCheckListCtrl(QWidget* parent = nullptr);

    // Puts the check box into the first column's header. Later calls do nothing.
    void initCheckHeader();
    bool checkHeaderInitialised() const { return initialised_; }
    // 0 before initCheckHeader, else kUnchecked or kChecked.
    int headerImage() const { return headerImage_; }
    // What a click on header column `column` does.
    void headerClicked(int column);

    int insertColumn(int column, const QString& title, int width = 100);
    // Inserts an unchecked row at `row` (clamped to the row count); returns its index.
    int insertItem(int row, const QString& text);
    void setItemText(int row, int column, const QString& text);
    QString itemText(int row, int column) const;
    void setItemData(int row, quint64 data);
    quint64 itemData(int row) const;
    int itemCount() const;
    void deleteItem(int row);
    void deleteAllItems();

    void setCheck(int row, bool checked);
    bool getCheck(int row) const;
    int stateImage(int row) const; // kUnchecked or kChecked; 0 for no such row

    QRect checkBoxRect(int row) const; // viewport coordinates

signals:
    // A click on a row's check box, sent before the row toggles (stateBefore 1 or 2).
    void checkBoxClicked(int row, int stateBefore);
    // Any left click on a row (after a check box toggle).
    void rowClicked(int row);
    void rowDoubleClicked(int row);
    void rowStateChanged(int row);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setHeaderImage(int image);
    void rowChanged(int row);
    QIcon boxIcon(bool checked) const;

    CCheckHeadCtrl* header_;
    bool initialised_ = false;
    int headerImage_ = 0;
};

} // namespace velmora
