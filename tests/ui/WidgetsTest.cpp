#include "../app/QtTestApp.h"

#include "Fixtures.h"
#include "ui/CCheckListCtrl.h"
#include "ui/CUseShGetFileInfo.h"
#include "ui/CXHtmlTreeWidget.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>
#include <atomic>
#include <random>
#include <thread>

using namespace velmora;

namespace {

void settle() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

QStringList shownTexts(QTreeWidgetItem* parent) {
    QStringList out;
    for (int i = 0; i < parent->childCount(); ++i)
        out << parent->child(i)->text(0);
    return out;
}

struct TreeView : ::testing::Test, test::QtAppFirst {
    TreeView() {
        test::qtApp();
        view.resize(400, 300);
        view.show();
    }
    CXHtmlTreeWidget view;
    CXHtmlTree& t = view.tree();
};

} // namespace

TEST_F(TreeView, FollowsAWorkerThreadOnTheGuiThread) {
    TreeItem root = t.insertItem("ROOT", kFolderImage, kFolderImage);
    std::thread worker([&] {
        for (int i = 0; i < 300; ++i) {
            TreeItem d = t.insertItem("dir" + std::to_string(i), kFolderImage, kFolderImage, root);
            t.insertItem(kDummyItemText, kDummyImage, kDummyImage, d);
            if (i % 2)
                t.setItemTextColor(d, kDeletedColor);
        }
        t.deleteItem(t.firstChild(root)); // dir0 goes again
        t.expandItem(root);
    });
    worker.join();
    settle();
    QTreeWidgetItem* r = view.widgetItem(root);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->childCount(), 299);
    EXPECT_EQ(r->child(0)->text(0), QStringLiteral("dir1"));
    EXPECT_EQ(r->child(0)->foreground(0).color(), QColor(255, 0, 0));
    EXPECT_EQ(r->child(1)->data(0, Qt::ForegroundRole), QVariant());
    EXPECT_EQ(shownTexts(r->child(0)), QStringList{QStringLiteral("..DUMY..")});
    EXPECT_TRUE(r->isExpanded());
}

// The worker inserts, deletes and ticks while the GUI thread keeps syncing; afterwards the
// view shows exactly the model: same items in the same order, same texts and check states.
TEST_F(TreeView, StaysEqualToAModelAWorkerChangesWhileTheViewSyncs) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        std::mt19937 rng(7);
        std::vector<TreeItem> live{t.insertItem("ROOT", kFolderImage, kFolderImage)};
        for (int i = 0; i < 6000; ++i) {
            TreeItem at = live[rng() % live.size()];
            unsigned op = rng() % 10;
            if (op < 6) {
                if (TreeItem n = t.insertItem("i" + std::to_string(i), 0, 0, at))
                    live.push_back(n);
            } else if (op < 8) {
                t.setCheck(at, rng() % 2);
            } else if (at != live.front()) {
                t.deleteItem(at);
            }
            if (i % 500 == 0) {
                std::vector<TreeItem> still;
                for (TreeItem x : live)
                    if (t.exists(x))
                        still.push_back(x);
                live.swap(still);
            }
        }
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents();
    worker.join();
    settle();

    std::vector<TreeItem> stack{kTreeRoot};
    size_t seen = 0;
    while (!stack.empty()) {
        TreeItem id = stack.back();
        stack.pop_back();
        QTreeWidgetItem* w = view.widgetItem(id);
        ASSERT_NE(w, nullptr) << id;
        std::vector<TreeItem> kids = t.children(id);
        ASSERT_EQ(size_t(w->childCount()), kids.size()) << t.itemText(id);
        for (size_t k = 0; k < kids.size(); ++k) {
            QTreeWidgetItem* c = w->child(int(k));
            ASSERT_EQ(view.treeItem(c), kids[k]);
            EXPECT_EQ(c->text(0).toStdString(), t.itemText(kids[k]));
            int state = t.checkState(kids[k]);
            Qt::CheckState want = state == kCheckChecked ? Qt::Checked
                                  : state == kCheckMixed  ? Qt::PartiallyChecked
                                                          : Qt::Unchecked;
            EXPECT_EQ(c->checkState(0), want) << t.itemText(kids[k]);
            stack.push_back(kids[k]);
            ++seen;
        }
    }
    EXPECT_EQ(seen, t.size());
}

TEST_F(TreeView, ClickOnACheckBoxChecksTheSubtreeAndShowsMixedParents) {
    TreeItem cat = t.insertItem("JPG", kFolderImage, kFolderImage);
    TreeItem a = t.insertItem("a.jpg", fileImageIndex("a.jpg"), fileImageIndex("a.jpg"), cat);
    TreeItem b = t.insertItem("b.jpg", fileImageIndex("b.jpg"), fileImageIndex("b.jpg"), cat);
    t.expandItem(cat);
    settle();
    QSignalSpy checks(&view, &CXHtmlTreeWidget::checkClicked);
    QSignalSpy labels(&view, &CXHtmlTreeWidget::labelClicked);

    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.checkBoxRect(cat).center());
    EXPECT_TRUE(t.isChecked(a));
    EXPECT_TRUE(t.isChecked(b));
    EXPECT_EQ(view.widgetItem(b)->checkState(0), Qt::Checked);
    EXPECT_EQ(t.countChecked(), 3);
    EXPECT_EQ(checks.count(), 1);
    EXPECT_EQ(labels.count(), 0); // the box is not the label

    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.checkBoxRect(a).center());
    EXPECT_EQ(view.widgetItem(cat)->checkState(0), Qt::PartiallyChecked);
    EXPECT_FALSE(t.isChecked(cat));
    // A click on the mixed box checks everything again.
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.checkBoxRect(cat).center());
    EXPECT_EQ(view.widgetItem(a)->checkState(0), Qt::Checked);
    EXPECT_EQ(view.widgetItem(cat)->checkState(0), Qt::Checked);
}

TEST_F(TreeView, LabelClickAndUserExpansionReachThePage) {
    TreeItem root = t.insertItem("ROOT", kFolderImage, kFolderImage);
    TreeItem dir = t.insertItem("DIR", kFolderImage, kFolderImage, root);
    t.insertItem(kDummyItemText, kDummyImage, kDummyImage, dir);
    t.expandItem(root);
    settle();
    // The page fills a folder when it is opened, replacing the placeholder.
    int expanding = 0;
    QObject::connect(&view, &CXHtmlTreeWidget::itemExpanding, [&](quint64 item) {
        ++expanding;
        if (t.itemText(t.firstChild(item)) == kDummyItemText)
            t.deleteItem(t.firstChild(item));
        t.insertItem("file.txt", fileImageIndex("file.txt"), fileImageIndex("file.txt"), item);
    });
    QSignalSpy labels(&view, &CXHtmlTreeWidget::labelClicked);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.labelRect(dir).center());
    ASSERT_EQ(labels.count(), 1);
    EXPECT_EQ(labels.at(0).at(0).toULongLong(), dir);
    EXPECT_EQ(view.currentItem(), view.widgetItem(dir));

    EXPECT_EQ(expanding, 0); // the programmatic expand of ROOT does not count as opening
    view.widgetItem(dir)->setExpanded(true);
    EXPECT_EQ(expanding, 1);
    EXPECT_EQ(shownTexts(view.widgetItem(dir)), QStringList{QStringLiteral("file.txt")});
}

TEST_F(TreeView, ExpandNotifiesTheFirstTimeOnly) {
    QSignalSpy first(&view, &CXHtmlTreeWidget::itemExpandedFirstTime);
    TreeItem root = t.insertItem("ROOT", kFolderImage, kFolderImage);
    t.expandItem(root); // no children yet: nothing marked
    t.insertItem("x", 0, 0, root);
    t.expandItem(root);
    t.expandItem(root);
    settle();
    EXPECT_EQ(first.count(), 1);
    EXPECT_TRUE(view.widgetItem(root)->isExpanded());
}

TEST(ShellIcons, TypesGetTheirOwnIconUnknownTypesTheGenericOne) {
    test::qtApp();
    CUseShGetFileInfo icons;
    if (QIcon::themeName().isEmpty() && !test::inCi())
        GTEST_SKIP() << "no desktop icon theme installed";
    QIcon jpg = icons.iconForIndex(icons.iconIndex("carved.jpg"));
    QIcon generic = icons.genericFileIcon();
    EXPECT_FALSE(jpg.isNull());
    EXPECT_NE(jpg.name(), generic.name());
    EXPECT_EQ(icons.iconForIndex(icons.iconIndex("carved.zzqq")).name(), generic.name());
    EXPECT_EQ(icons.iconForIndex(icons.iconIndex("NOEXT")).name(), generic.name());
    EXPECT_FALSE(icons.iconForIndex(icons.folderIconIndex()).isNull());
    EXPECT_NE(icons.folderIcon().name(), generic.name());
}

namespace {

struct CheckList : ::testing::Test, test::QtAppFirst {
    CheckList() {
        test::qtApp();
        list.insertColumn(0, QStringLiteral("File Name"), 120);
        list.insertColumn(1, QStringLiteral("Size"), 80);
        list.resize(400, 200);
        list.show();
    }
    void fill(int rows) {
        for (int i = 0; i < rows; ++i)
            list.insertItem(i, QStringLiteral("row%1").arg(i));
    }
    CCheckListCtrl list;
};

} // namespace

TEST_F(CheckList, HeaderOfAnEmptyListTogglesOnlyItself) {
    list.initCheckHeader();
    list.initCheckHeader(); // later calls change nothing
    EXPECT_EQ(list.headerImage(), CCheckListCtrl::kUnchecked);
    list.headerClicked(0);
    EXPECT_EQ(list.headerImage(), CCheckListCtrl::kChecked);
    EXPECT_EQ(list.itemCount(), 0);
    list.headerClicked(0);
    EXPECT_EQ(list.headerImage(), CCheckListCtrl::kUnchecked);
}

TEST_F(CheckList, HeaderAndRowsStayInStep) {
    list.initCheckHeader();
    fill(3);
    list.headerClicked(0);
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(list.stateImage(r), CCheckListCtrl::kChecked);
    list.setCheck(1, false);
    EXPECT_EQ(list.headerImage(), CCheckListCtrl::kUnchecked);
    list.setCheck(1, true);
    EXPECT_EQ(list.headerImage(), CCheckListCtrl::kChecked);
    // Other columns' headers do nothing.
    list.headerClicked(1);
    EXPECT_EQ(list.headerImage(), CCheckListCtrl::kChecked);
    EXPECT_EQ(list.stateImage(0), CCheckListCtrl::kChecked);
    // A new row is unchecked, so the header is too.
    list.insertItem(3, QStringLiteral("late"));
    EXPECT_EQ(list.headerImage(), CCheckListCtrl::kUnchecked);
    // Header click again: every row checked, then every row cleared.
    list.headerClicked(0);
    EXPECT_EQ(list.stateImage(3), CCheckListCtrl::kChecked);
    list.headerClicked(0);
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(list.stateImage(r), CCheckListCtrl::kUnchecked);
}

TEST_F(CheckList, ClicksOnTheRealHeaderAndRowBoxes) {
    fill(2);
    list.setCheck(0, true);
    list.setCheck(1, true);
    EXPECT_EQ(list.headerImage(), 0); // not initialised: the header keeps out of it
    list.initCheckHeader();

    QHeaderView* header = list.header();
    QPoint firstColumn(header->sectionViewportPosition(0) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, firstColumn);
    EXPECT_EQ(list.headerImage(), CCheckListCtrl::kChecked);

    QSignalSpy boxes(&list, &CCheckListCtrl::checkBoxClicked);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.checkBoxRect(1).center());
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.at(0).at(0).toInt(), 1);
    EXPECT_EQ(boxes.at(0).at(1).toInt(), CCheckListCtrl::kChecked); // the state before the toggle
    EXPECT_EQ(list.stateImage(1), CCheckListCtrl::kUnchecked);
    EXPECT_EQ(list.headerImage(), CCheckListCtrl::kUnchecked);
    // A click on the row's text does not toggle it.
    QRect text = list.visualItemRect(list.topLevelItem(0));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(text.left() + 80, text.center().y()));
    EXPECT_EQ(list.stateImage(0), CCheckListCtrl::kChecked);

    list.setItemData(0, 0xABCDEF0123ULL);
    list.setItemText(0, 1, QStringLiteral("1.00 KB"));
    EXPECT_EQ(list.itemData(0), 0xABCDEF0123ULL);
    EXPECT_EQ(list.itemText(0, 1), QStringLiteral("1.00 KB"));
    list.deleteAllItems();
    EXPECT_EQ(list.itemCount(), 0);
}
