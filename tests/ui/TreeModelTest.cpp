#include "ui/CXHtmlTree.h"

#include <gtest/gtest.h>
#include <thread>

using namespace velmora;

namespace {

// A category with three files, like the raw recovery tree, plus a nested folder.
struct Sample {
    CXHtmlTree tree;
    TreeItem category, a, b, c, folder, inner1, inner2;
    Sample() {
        category = tree.insertItem("JPG", kFolderImage, kFolderImage);
        a = tree.insertItem("a.jpg", 20, 20, category);
        b = tree.insertItem("b.jpg", 20, 20, category);
        c = tree.insertItem("c.jpg", 20, 20, category);
        folder = tree.insertItem("DOCS", kFolderImage, kFolderImage);
        inner1 = tree.insertItem("x.txt", 0, 0, folder);
        inner2 = tree.insertItem("SUB", kFolderImage, kFolderImage, folder);
    }
};

struct Recorder : CXHtmlTreeObserver {
    std::vector<std::string> log;
    void itemInserted(CXHtmlTree&, TreeItem i, TreeItem p) override {
        log.push_back("insert " + std::to_string(i) + " under " + std::to_string(p));
    }
    void itemRemoved(CXHtmlTree&, TreeItem i, TreeItem) override { log.push_back("remove " + std::to_string(i)); }
    void checkChanged(CXHtmlTree&, TreeItem i, bool on) override {
        log.push_back("check " + std::to_string(i) + (on ? " on" : " off"));
    }
    void itemExpanded(CXHtmlTree&, TreeItem i) override { log.push_back("expanded " + std::to_string(i)); }
    void expandRequested(CXHtmlTree&, TreeItem i) override { log.push_back("expand " + std::to_string(i)); }
    void labelClicked(CXHtmlTree&, TreeItem i) override { log.push_back("label " + std::to_string(i)); }
};

} // namespace

TEST(CXHtmlTree, LinksAndTexts) {
    Sample s;
    EXPECT_EQ(s.tree.firstChild(kTreeRoot), s.category);
    EXPECT_EQ(s.tree.nextSibling(s.category), s.folder);
    EXPECT_EQ(s.tree.nextSibling(s.folder), 0u);
    EXPECT_EQ(s.tree.children(s.category), (std::vector<TreeItem>{s.a, s.b, s.c}));
    EXPECT_EQ(s.tree.parentItem(s.b), s.category);
    EXPECT_TRUE(s.tree.itemHasChildren(s.category));
    EXPECT_FALSE(s.tree.itemHasChildren(s.a));
    EXPECT_EQ(s.tree.itemText(s.b), "b.jpg");
    EXPECT_EQ(s.tree.itemImage(s.category), kFolderImage);
    EXPECT_EQ(s.tree.itemTextColor(s.a), kNoTextColor);
    s.tree.setItemTextColor(s.a, kDeletedColor);
    EXPECT_EQ(s.tree.itemTextColor(s.a), 0xFF0000u);
    s.tree.setItemData(s.a, 0x1234567890ULL);
    EXPECT_EQ(s.tree.itemData(s.a), 0x1234567890ULL);
    // Unknown items and parents are refused quietly.
    EXPECT_EQ(s.tree.insertItem("orphan", 0, 0, 9999), 0u);
    EXPECT_EQ(s.tree.itemText(9999), "");
    EXPECT_FALSE(s.tree.isChecked(9999));
}

TEST(CXHtmlTree, CheckingAParentChecksEverythingBelowAndCountsAll) {
    Sample s;
    s.tree.setCheck(s.category, true);
    for (TreeItem f : {s.a, s.b, s.c})
        EXPECT_TRUE(s.tree.isChecked(f));
    EXPECT_TRUE(s.tree.isChecked(s.category));
    EXPECT_EQ(s.tree.checkState(s.category), kCheckChecked);
    EXPECT_EQ(s.tree.countChecked(), 4); // the category and its three files

    s.tree.setCheck(s.folder, true);
    EXPECT_EQ(s.tree.countChecked(), 7);
    s.tree.setCheck(s.folder, false);
    EXPECT_EQ(s.tree.countChecked(), 4);
    EXPECT_EQ(s.tree.checkState(s.inner2), kCheckUnchecked);
}

TEST(CXHtmlTree, ChildChangesDriveTheParentState) {
    Sample s;
    s.tree.setCheck(s.category, true);
    s.tree.setCheck(s.b, false);
    EXPECT_EQ(s.tree.checkState(s.category), kCheckMixed);
    EXPECT_FALSE(s.tree.isChecked(s.category));
    EXPECT_EQ(s.tree.countChecked(), 2);
    // Checking the last unchecked child checks the parent again.
    s.tree.setCheck(s.b, true);
    EXPECT_EQ(s.tree.checkState(s.category), kCheckChecked);
    EXPECT_TRUE(s.tree.isChecked(s.category));
    // Unchecking every child one by one leaves the parent unchecked.
    for (TreeItem f : {s.a, s.b, s.c})
        s.tree.setCheck(f, false);
    EXPECT_EQ(s.tree.checkState(s.category), kCheckUnchecked);
    // Checking children one by one: mixed until the last.
    s.tree.setCheck(s.a, true);
    EXPECT_EQ(s.tree.checkState(s.category), kCheckMixed);
    s.tree.setCheck(s.b, true);
    s.tree.setCheck(s.c, true);
    EXPECT_EQ(s.tree.checkState(s.category), kCheckChecked);
}

TEST(CXHtmlTree, StatesReachEveryAncestor) {
    CXHtmlTree t;
    TreeItem top = t.insertItem("top");
    TreeItem mid = t.insertItem("mid", 0, 0, top);
    TreeItem other = t.insertItem("other", 0, 0, top);
    TreeItem leaf1 = t.insertItem("l1", 0, 0, mid);
    TreeItem leaf2 = t.insertItem("l2", 0, 0, mid);
    t.setCheck(leaf1, true);
    EXPECT_EQ(t.checkState(mid), kCheckMixed);
    // A tick two levels down shows on the top item as mixed, not as unchecked.
    EXPECT_EQ(t.checkState(top), kCheckMixed);
    t.setCheck(leaf2, true);
    EXPECT_EQ(t.checkState(mid), kCheckChecked);
    EXPECT_EQ(t.checkState(top), kCheckMixed);
    t.setCheck(other, true);
    EXPECT_EQ(t.checkState(top), kCheckChecked);
    EXPECT_EQ(t.countChecked(), 5);

    // Deleting the only unchecked child completes the parent; inserting one undoes it.
    t.setCheck(leaf2, false);
    EXPECT_EQ(t.checkState(top), kCheckMixed);
    t.deleteItem(leaf2);
    EXPECT_EQ(t.checkState(mid), kCheckChecked);
    EXPECT_EQ(t.checkState(top), kCheckChecked);
    TreeItem added = t.insertItem("new", 0, 0, mid);
    EXPECT_EQ(t.checkState(mid), kCheckMixed);
    EXPECT_FALSE(t.isChecked(top));
    t.deleteItem(added);
    EXPECT_TRUE(t.isChecked(top));
}

TEST(CXHtmlTree, PlaceholderSwapKeepsTheFolderTicked) {
    // A ticked folder whose placeholder is replaced by real children, each given the folder's
    // state, stays ticked.
    CXHtmlTree t;
    TreeItem root = t.insertItem("ROOT", kFolderImage, kFolderImage);
    TreeItem dir = t.insertItem("DIR", kFolderImage, kFolderImage, root);
    TreeItem dummy = t.insertItem(kDummyItemText, kDummyImage, kDummyImage, dir);
    t.setCheck(dir, true);
    EXPECT_TRUE(t.isChecked(dummy));
    EXPECT_TRUE(t.isChecked(root));
    bool state = t.isChecked(dir);
    t.deleteItem(t.firstChild(dir));
    for (const char* name : {"1.txt", "2.txt"}) {
        TreeItem k = t.insertItem(name, fileImageIndex(name), fileImageIndex(name), dir);
        t.setCheck(k, state);
    }
    EXPECT_TRUE(t.isChecked(dir));
    EXPECT_TRUE(t.isChecked(root));
    EXPECT_EQ(t.countChecked(), 4);
}

TEST(CXHtmlTree, DeleteAndClear) {
    Sample s;
    s.tree.deleteItem(s.folder);
    EXPECT_FALSE(s.tree.exists(s.inner1));
    EXPECT_FALSE(s.tree.exists(s.inner2));
    EXPECT_EQ(s.tree.nextSibling(s.category), 0u);
    s.tree.deleteItem(s.b);
    EXPECT_EQ(s.tree.children(s.category), (std::vector<TreeItem>{s.a, s.c}));
    EXPECT_EQ(s.tree.nextSibling(s.a), s.c);
    s.tree.deleteChildren(s.category);
    EXPECT_FALSE(s.tree.itemHasChildren(s.category));
    s.tree.clear();
    EXPECT_EQ(s.tree.size(), 0u);
    EXPECT_EQ(s.tree.firstChild(kTreeRoot), 0u);
    // Items are never reused, so a view holding an old id cannot confuse it with a new one.
    TreeItem fresh = s.tree.insertItem("again");
    EXPECT_GT(fresh, s.inner2);
}

TEST(CXHtmlTree, ProgrammaticExpandNotifiesOnce) {
    Sample s;
    Recorder r;
    s.tree.addObserver(&r);
    s.tree.expandItem(s.category);
    s.tree.expandItem(s.category);
    s.tree.expandItem(s.a); // no children: not marked, the view is still asked
    EXPECT_TRUE(s.tree.isExpandedMarked(s.category));
    EXPECT_FALSE(s.tree.isExpandedMarked(s.a));
    std::string cat = std::to_string(s.category), a = std::to_string(s.a);
    EXPECT_EQ(r.log, (std::vector<std::string>{"expanded " + cat, "expand " + cat, "expand " + cat, "expand " + a}));
    r.log.clear();
    s.tree.clickLabel(s.b);
    s.tree.setCheck(s.c, true);
    TreeItem d = s.tree.insertItem("d.jpg", 20, 20, s.category);
    s.tree.deleteItem(d);
    s.tree.removeObserver(&r);
    s.tree.clickLabel(s.b);
    EXPECT_EQ(r.log, (std::vector<std::string>{"label " + std::to_string(s.b), "check " + std::to_string(s.c) + " on",
                                               "insert " + std::to_string(d) + " under " + cat,
                                               "remove " + std::to_string(d)}));
}

TEST(CXHtmlTree, ObserverMayReadTheTreeDuringANotification) {
    struct Reader : CXHtmlTreeObserver {
        std::string seen;
        void itemInserted(CXHtmlTree& t, TreeItem i, TreeItem) override { seen += t.itemText(i); }
    } reader;
    CXHtmlTree t;
    t.addObserver(&reader);
    t.insertItem("A");
    t.insertItem("B");
    EXPECT_EQ(reader.seen, "AB");
    t.removeObserver(&reader);
}

TEST(CXHtmlTree, FileImagesByExtension) {
    EXPECT_EQ(fileImageIndex("photo.JPG"), fileImageIndex("other.jpg"));
    EXPECT_GE(fileImageIndex("x.jpg"), kFirstExtensionImage);
    EXPECT_EQ(imageExtension(fileImageIndex("x.jpg")), "jpg");
    EXPECT_NE(fileImageIndex("a.pdf"), fileImageIndex("a.jpg"));
    EXPECT_EQ(fileImageIndex("README"), kGenericFileImage);
    EXPECT_EQ(fileImageIndex("trailing."), kGenericFileImage);
    EXPECT_EQ(imageExtension(kFolderImage), "");
}

TEST(CXHtmlTree, WorkerAndReaderThreadsAtOnce) {
    // A worker fills the tree while another thread reads and ticks; nothing may tear.
    CXHtmlTree t;
    TreeItem top = t.insertItem("top");
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 2000; ++i) {
            TreeItem k = t.insertItem("f" + std::to_string(i), 0, 0, top);
            if (i % 3 == 0)
                t.deleteItem(k);
        }
        done = true;
    });
    while (!done) {
        t.setCheck(top, true);
        (void)t.countChecked();
        (void)t.children(top);
    }
    worker.join();
    t.setCheck(top, true);
    EXPECT_TRUE(t.isChecked(top));
    EXPECT_EQ(t.childCount(top), t.children(top).size());
    EXPECT_EQ(t.countChecked(), int(t.childCount(top)) + 1);
}
