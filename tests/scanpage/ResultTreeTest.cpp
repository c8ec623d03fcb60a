#include "FakeParser.h"
#include "Fixtures.h"
#include "scan/ResultBrowser.h"
#include "scan/TreeSaver.h"

#include <fstream>
#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

using namespace velmora;
using namespace velmora::scan;
namespace stdfs = std::filesystem;

namespace {

std::string slurp(const stdfs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Every file below `dir`, as "relative/path=content".
std::vector<std::string> listing(const stdfs::path& dir) {
    std::vector<std::string> out;
    for (auto& e : stdfs::recursive_directory_iterator(dir))
        out.push_back(stdfs::relative(e.path(), dir).string() +
                      (e.is_directory() ? "/" : "=" + slurp(e.path())));
    std::sort(out.begin(), out.end());
    return out;
}

TreeItem childNamed(CXHtmlTree& t, TreeItem parent, const std::string& name) {
    for (TreeItem c : t.children(parent))
        if (t.itemText(c) == name)
            return c;
    return kTreeRoot;
}

// ROOT
//   Docs/ (a.txt, Sub/ (deep.txt), gone.txt deleted)
//   Old/ deleted (x.txt deleted)
//   top.txt
//   top.txt deleted (a second entry of the same name)
//   Empty/
struct Volume {
    test::FakeParser p;
    fs::EntryRef docs, a, sub, deep, gone, old, x, top, top2, empty;
    Volume() {
        docs = p.add(-1, "Docs", true);
        a = p.add(docs, "a.txt", false, "alpha");
        sub = p.add(docs, "Sub", true);
        deep = p.add(sub, "deep.txt", false, "deep");
        gone = p.add(docs, "gone.txt", false, "gone", true);
        old = p.add(-1, "Old", true, {}, true);
        x = p.add(old, "x.txt", false, "ex", true);
        top = p.add(-1, "top.txt", false, "live");
        top2 = p.add(-1, "top.txt", false, "dead", true);
        empty = p.add(-1, "Empty", true);
    }
};

// A volume as the page shows it after a scan: the first level, with placeholders.
struct Shown {
    explicit Shown(test::FakeParser& p) : b(tree, p), root(b.fillRoot("ROOT")) { b.addPlaceholders(); }
    CXHtmlTree tree;
    ResultBrowser b;
    TreeItem root;
};

} // namespace

TEST(ResultBrowser, FillsLazilyWithPlaceholdersAndRedDeletedItems) {
    Volume v;
    Shown shown(v.p);
    auto& [tree, b, root] = shown;
    EXPECT_EQ(tree.itemText(root), "ROOT");
    ASSERT_EQ(tree.childCount(root), 5u);
    TreeItem docs = childNamed(tree, root, "Docs");
    TreeItem old = childNamed(tree, root, "Old");
    EXPECT_EQ(tree.itemText(tree.firstChild(docs)), kDummyItemText);
    EXPECT_EQ(tree.itemTextColor(old), kDeletedColor);
    EXPECT_NE(tree.itemTextColor(docs), kDeletedColor);
    EXPECT_FALSE(tree.itemHasChildren(childNamed(tree, root, "Empty")));

    // Root item: no entry, the list stays as it is.
    EXPECT_FALSE(b.labelClicked(root).has_value());
    auto rows = b.labelClicked(docs);
    ASSERT_TRUE(rows.has_value());
    ASSERT_EQ(rows->size(), 2u);  // files only
    EXPECT_EQ((*rows)[0].name, "a.txt");
    EXPECT_EQ((*rows)[0].size, "5 Bytes");
    EXPECT_EQ(tree.childCount(docs), 3u);
    b.labelClicked(docs);
    EXPECT_EQ(tree.childCount(docs), 3u);  // a second click does not duplicate
    EXPECT_EQ(tree.itemText(tree.firstChild(childNamed(tree, docs, "Sub"))), kDummyItemText);
    EXPECT_EQ(tree.itemTextColor(childNamed(tree, docs, "gone.txt")), kDeletedColor);
}

TEST(ResultBrowser, ChildrenOfATickedFolderAreTickedWhenLoaded) {
    Volume v;
    Shown shown(v.p);
    auto& [tree, b, root] = shown;
    TreeItem docs = childNamed(tree, root, "Docs");
    tree.setCheck(docs, true);
    b.fillChildren(docs);
    for (TreeItem c : tree.children(docs))
        EXPECT_TRUE(tree.isChecked(c)) << tree.itemText(c);
    EXPECT_TRUE(tree.isChecked(docs));
}

TEST(TreeSaver, TickedItemsAndNeverOpenedFoldersAreWrittenBelowTheDestination) {
    Volume v;
    Shown shown(v.p);
    auto& [tree, b, root] = shown;
    TreeItem docs = childNamed(tree, root, "Docs");
    b.fillChildren(docs);
    // Partly ticked Docs: a.txt and the never-opened Sub; Old ticked whole, never opened;
    // both top.txt entries.
    tree.setCheck(childNamed(tree, docs, "a.txt"), true);
    tree.setCheck(childNamed(tree, docs, "Sub"), true);
    tree.setCheck(childNamed(tree, root, "Old"), true);
    for (TreeItem c : tree.children(root))
        if (tree.itemText(c) == "top.txt")
            tree.setCheck(c, true);
    tree.setCheck(childNamed(tree, root, "Empty"), true);

    test::TempDir tmp;
    // An existing file is never replaced.
    stdfs::create_directories(tmp.path() / "out");
    std::ofstream(tmp.path() / "out" / "top.txt") << "mine";
    TreeSaver saver(b);
    SaveRequest req;
    req.destination = tmp.path() / "out";
    req.skipDeleted = false;
    SaveReport r = saver.saveCheckedItems(req);
    EXPECT_EQ(r.failures, 0u);
    EXPECT_EQ(r.files, 5u);
    EXPECT_EQ(listing(req.destination),
              (std::vector<std::string>{"Docs/", "Docs/Sub/", "Docs/Sub/deep.txt=deep", "Docs/a.txt=alpha", "Empty/",
                                        "Old/", "Old/x.txt=ex", "top (2).txt=live", "top (3).txt=dead",
                                        "top.txt=mine"}));
    struct stat st {};
    ASSERT_EQ(::stat((req.destination / "Docs/a.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1700000000);
}

TEST(TreeSaver, DeletedEntriesAreSkippedUnlessAsked) {
    Volume v;
    Shown shown(v.p);
    auto& [tree, b, root] = shown;
    for (TreeItem c : tree.children(root))
        tree.setCheck(c, true);
    test::TempDir tmp;
    SaveRequest req;
    req.destination = tmp.path();
    req.skipDeleted = true;
    SaveReport r = TreeSaver(b).saveCheckedItems(req);
    EXPECT_EQ(r.files, 3u);  // a.txt, deep.txt, the live top.txt
    EXPECT_EQ(r.skippedDeleted, 3u);
    EXPECT_EQ(slurp(tmp.path() / "top.txt"), "live");
    EXPECT_FALSE(stdfs::exists(tmp.path() / "Docs/gone.txt"));
}

TEST(TreeSaver, HostileNamesStayInsideAndCyclesEnd) {
    test::FakeParser p;
    auto evil = p.add(-1, "..", true);
    p.add(evil, "../../escape.txt", false, "x");
    auto loop = p.add(-1, "loop", true);
    auto inner = p.add(loop, "inner", true);
    p.nodes[inner].children.push_back(loop);  // damaged links: a folder inside itself
    p.add(inner, "f.txt", false, "f");
    Shown shown(p);
    auto& [tree, b, root] = shown;
    for (TreeItem c : tree.children(root))
        tree.setCheck(c, true);
    test::TempDir tmp;
    auto out = tmp.path() / "out";
    SaveRequest req;
    req.destination = out;
    req.skipDeleted = false;
    SaveReport r = TreeSaver(b).saveCheckedItems(req);
    EXPECT_EQ(r.files, 2u);
    for (auto& e : stdfs::recursive_directory_iterator(tmp.path()))
        EXPECT_EQ(e.path().string().rfind(out.string(), 0), 0u) << e.path();
    EXPECT_FALSE(stdfs::exists(tmp.path() / "escape.txt"));
}

// Names that become equal once made safe, and a folder and a file of one name side by side,
// in a dump and in a tree save: every file is kept, none replaces another.
TEST(TreeSaver, CollidingNamesKeepEveryFile) {
    test::FakeParser p;
    auto dumped = p.add(-1, "D", true);
    p.add(dumped, "a/b", false, "1");
    p.add(dumped, "a_b", false, "2");
    auto sub = p.add(dumped, "x", true);
    p.add(sub, "in", false, "3");
    p.add(dumped, "x", false, "4");
    p.add(-1, "y", false, "5");  // a file before the folder of its name
    auto folder = p.add(-1, "y", true);
    p.add(folder, "in", false, "6");
    Shown shown(p);
    auto& [tree, b, root] = shown;
    auto kids = tree.children(root);
    ASSERT_EQ(kids.size(), 3u);
    b.fillChildren(kids[2]);  // the folder "y" is saved item by item
    tree.setCheck(root, true);
    test::TempDir tmp;
    SaveRequest req;
    req.destination = tmp.path();
    req.skipDeleted = false;
    SaveReport r = TreeSaver(b).saveCheckedItems(req);
    EXPECT_EQ(r.files, 6u);
    EXPECT_EQ(r.failures, 0u);
    std::vector<std::string> contents;
    for (auto& e : stdfs::recursive_directory_iterator(tmp.path()))
        if (e.is_regular_file())
            contents.push_back(slurp(e.path()));
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));
}

TEST(TreeSaver, StopEndsAFolderDumpAtTheNextChild) {
    test::FakeParser p;
    auto big = p.add(-1, "Big", true);
    for (int i = 0; i < 20; ++i)
        p.add(big, "f" + std::to_string(i), false, "x");
    Shown shown(p);
    auto& [tree, b, root] = shown;
    tree.setCheck(childNamed(tree, root, "Big"), true);
    std::atomic<bool> stop{false};
    struct StopAfter final : ProgressSink {
        std::atomic<bool>& stop;
        int statuses = 0;
        explicit StopAfter(std::atomic<bool>& s) : stop(s) {}
        void setRange(int64_t, int64_t) override {}
        void setPosition(int64_t) override {}
        void setStatus(const std::string& t) override {
            EXPECT_EQ(t.rfind("saving File  ", 0), 0u) << t;
            if (++statuses == 3)
                stop = true;
        }
    } progress(stop);
    test::TempDir tmp;
    SaveRequest req;
    req.destination = tmp.path();
    req.progress = &progress;
    req.stop = &stop;
    SaveReport r = TreeSaver(b).saveCheckedItems(req);
    EXPECT_EQ(r.files, 3u);
}
