#include "../app/QtTestApp.h"
#include "Fixtures.h"

#include "app/CKestrumApp.h"
#include "app/VolumeScanDlg.h"
#include "disk/readWriteInterface.h"
#include "ui/CCheckListCtrl.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QThread>

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace velmora;
namespace stdfs = std::filesystem;

namespace {

const char* const kScanDone = "Scanning processing done.Select save button to save the data.";

struct ManifestLine {
    std::string sha, state, partition, path;
};

std::vector<ManifestLine> manifest() {
    std::ifstream in(test::sourceDir() / "samples/sample-disk.manifest");
    std::vector<ManifestLine> out;
    std::string line;
    while (std::getline(in, line)) {
        ManifestLine m;
        size_t a = line.find("  "), b = line.find("  ", a + 2), c = line.find("  ", b + 2);
        m.sha = line.substr(0, a);
        m.state = line.substr(a + 2, b - a - 2);
        m.partition = line.substr(b + 2, c - b - 2);
        m.path = line.substr(c + 2);
        out.push_back(m);
    }
    return out;
}

std::string sha256(const stdfs::path& p) {
    std::string out;
    test::run("sha256sum '" + p.string() + "'", &out);
    return out.substr(0, 64);
}

void settle(VolumeScanDlg& page) {
    page.waitForWorker();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

TreeItem childNamed(CXHtmlTree& t, TreeItem parent, const std::string& name) {
    for (TreeItem c : t.children(parent))
        if (t.itemText(c) == name)
            return c;
    return kTreeRoot;
}

// The scripted answers, with a hook that runs on the worker when a given text is shown or asked.
class HookedDialogs final : public UserDialogs {
public:
    explicit HookedDialogs(ScriptedDialogs& script) : script_(script) {}
    std::function<void(const std::string&)> onText;

    void showMessage(const std::string& text, Icon icon) override {
        script_.showMessage(text, icon);
        if (onText)
            onText(text);
    }
    bool askYesNo(const std::string& text, Icon icon) override {
        bool a = script_.askYesNo(text, icon);
        if (onText)
            onText(text);
        return a;
    }
    std::optional<stdfs::path> chooseFolder(const std::string& t) override { return script_.chooseFolder(t); }
    std::optional<stdfs::path> chooseOpenFile(const std::string& t, const std::string& f) override {
        return script_.chooseOpenFile(t, f);
    }
    std::optional<stdfs::path> chooseSaveFile(const std::string& t, const std::string& f) override {
        return script_.chooseSaveFile(t, f);
    }
    void openUrl(const std::string& url) override { script_.openUrl(url); }

private:
    ScriptedDialogs& script_;
};

// Waits for the worker to end by itself; false when it is still running after `seconds`.
bool endsWithin(VolumeScanDlg& page, int seconds) {
    for (int i = 0; i < seconds * 20 && page.workerRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return !page.workerRunning();
}

class ScanPage : public ::testing::Test {
protected:
    void SetUp() override {
        test::qtApp();
        AppOptions o;
        o.lockName = "scan-test-" + std::to_string(getpid());
        o.dialogs = &hooked;
        o.exitProcess = [](int) {};
        app = std::make_unique<CKestrumApp>(std::move(o));
    }
    std::unique_ptr<VolumeScanDlg> open(const stdfs::path& image, VolumeInfo v, int mode = 1) {
        auto reader = std::make_unique<FileReadSeek>();
        EXPECT_TRUE(reader->open(image.string()));
        app->session.reader = std::move(reader);
        return std::make_unique<VolumeScanDlg>(*app, nullptr, std::move(v), mode);
    }
    static VolumeInfo sampleNtfs() {
        VolumeInfo v;
        v.fsName = "NTFS";
        v.volumeId = "0";
        v.sizeText = "40   MB";
        v.startSector = 2048;
        return v;
    }
    ScriptedDialogs dialogs;
    HookedDialogs hooked{dialogs};
    std::unique_ptr<CKestrumApp> app;
};

} // namespace

TEST_F(ScanPage, SampleNtfsScansShowsDeletedInRedAndSavesTickedItems) {
    VELMORA_REQUIRE_FIXTURE(image, "sample-disk.img");
    auto page = open(image, sampleNtfs());
    ASSERT_TRUE(page->initPage());
    settle(*page);
    const std::string done = "Scanning processing done.Select save button to save the data.";
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages.back(), done);
    EXPECT_EQ(page->statusText().toStdString(), done);
    EXPECT_FALSE(page->busy());
    EXPECT_TRUE(page->findChild<QPushButton*>("1057")->isEnabled());

    CXHtmlTree& t = page->resultTree();
    TreeItem root = page->browser()->root();
    EXPECT_EQ(t.itemText(root), "ROOT");
    TreeItem old = childNamed(t, root, "Old Projects");
    TreeItem docs = childNamed(t, root, "Documents");
    TreeItem readme = childNamed(t, root, "readme.txt");
    ASSERT_NE(old, kTreeRoot);
    ASSERT_NE(docs, kTreeRoot);
    ASSERT_NE(readme, kTreeRoot);
    EXPECT_EQ(t.itemTextColor(old), kDeletedColor);
    EXPECT_NE(t.itemTextColor(docs), kDeletedColor);
    EXPECT_EQ(t.itemText(t.firstChild(old)), kDummyItemText);

    // Clicking Documents lists its files, the deleted draft among them (red in the tree).
    page->labelClicked(docs);
    CCheckListCtrl* list = page->fileList();
    std::vector<std::string> rows;
    for (int r = 0; r < list->itemCount(); ++r)
        rows.push_back(list->itemText(r, 0).toStdString());
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (std::vector<std::string>{"notes.txt", "old-draft.txt", "report.txt"}));
    EXPECT_EQ(t.itemTextColor(childNamed(t, docs, "old-draft.txt")), kDeletedColor);

    // Tick the deleted folder (never opened), a top-level file and one file of Documents via
    // the list's check box.
    t.setCheck(old, true);
    t.setCheck(readme, true);
    for (int r = 0; r < list->itemCount(); ++r)
        if (list->itemText(r, 0) == "report.txt")
            emit list->checkBoxClicked(r, CCheckListCtrl::kUnchecked);
    EXPECT_TRUE(t.isChecked(childNamed(t, docs, "report.txt")));
    // The header box ticks and clears every row, and the tree follows it.
    list->headerClicked(0);
    EXPECT_TRUE(t.isChecked(docs));
    list->headerClicked(0);
    EXPECT_EQ(t.checkState(docs), kCheckUnchecked);
    for (int r = 0; r < list->itemCount(); ++r)
        if (list->itemText(r, 0) == "report.txt")
            emit list->checkBoxClicked(r, CCheckListCtrl::kUnchecked);

    test::TempDir out;
    dialogs.folder = out.path();
    dialogs.answers = {true};
    page->savePressed();
    settle(*page);
    EXPECT_EQ(dialogs.messages.back(), "Saving Process Completed..");
    EXPECT_EQ(page->statusText().toStdString(), "Saving Process Completed..");
    EXPECT_EQ(page->destinationFolder().toStdString(), out.path().string());

    std::vector<std::string> wanted = {"readme.txt", "Documents/report.txt", "Old Projects/plan.txt",
                                       "Old Projects/budget.csv"};
    for (const auto& m : manifest()) {
        if (m.partition != "NTFS")
            continue;
        bool expected = std::find(wanted.begin(), wanted.end(), m.path) != wanted.end();
        EXPECT_EQ(stdfs::exists(out.path() / m.path), expected) << m.path;
        if (expected) {
            EXPECT_EQ(sha256(out.path() / m.path), m.sha) << m.path;
        }
    }
    // The volume's modification time (the sample was filled with a fixed stamp).
    struct stat st {};
    ASSERT_EQ(::stat((out.path() / "Old Projects/plan.txt").c_str(), &st), 0);
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 14;
    tm.tm_hour = 9;
    tm.tm_min = 26;
    tm.tm_sec = 53;
    EXPECT_EQ(st.st_mtime, timegm(&tm));

    // A second save of the same items keeps both copies.
    dialogs.answers = {true};
    page->savePressed();
    settle(*page);
    EXPECT_TRUE(stdfs::exists(out.path() / "readme (2).txt"));
    EXPECT_EQ(sha256(out.path() / "readme (2).txt"), sha256(out.path() / "readme.txt"));
}

TEST_F(ScanPage, PausesNestAndStopStillBuildsTheTree) {
    VELMORA_REQUIRE_FIXTURE(image, "sample-disk.img");
    auto page = open(image, sampleNtfs());
    page->pauseGate().pause();
    page->pauseGate().pause();
    ASSERT_TRUE(page->initPage());
    auto stillRunningAfter = [&](int ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return page->workerRunning();
    };
    EXPECT_TRUE(stillRunningAfter(300));
    page->resumePressed();
    EXPECT_TRUE(stillRunningAfter(300));  // one Resume is not enough after two Pauses
    page->resumePressed();
    settle(*page);
    EXPECT_FALSE(page->busy());

    // Stop right at the start of the walk: the finish still runs and a ROOT is there.
    auto stopped = open(image, sampleNtfs());
    stopped->pauseGate().pause();
    ASSERT_TRUE(stopped->initPage());
    stopped->stopPressed();
    EXPECT_EQ(stopped->statusText().toStdString(),
              "stop button pressed.Please wait for the process to be stopped.");
    settle(*stopped);
    EXPECT_EQ(dialogs.messages.back(), "Scanning processing done.Select save button to save the data.");
    EXPECT_EQ(stopped->resultTree().itemText(stopped->browser()->root()), "ROOT");
}

TEST_F(ScanPage, UnknownFileSystemAndNothingTicked) {
    VELMORA_REQUIRE_FIXTURE(image, "sample-disk.img");
    VolumeInfo v = sampleNtfs();
    v.fsName = "FAT12";
    auto page = open(image, v);
    page->initPage();
    EXPECT_EQ(dialogs.messages.back(), "not a valid drive.");
    EXPECT_EQ(page->statusText().toStdString(), "Not a valid Drive .Go back");
    EXPECT_TRUE(page->findChild<QPushButton*>("1057")->isEnabled());

    // Blanks around the name do not make the volume unknown.
    VolumeInfo padded = sampleNtfs();
    padded.fsName = "  NTFS ";
    auto ntfsPage = open(image, padded);
    ntfsPage->initPage();
    settle(*ntfsPage);
    EXPECT_EQ(dialogs.messages.back(), kScanDone);
    ntfsPage->savePressed();
    EXPECT_EQ(dialogs.messages.back(), "Please select File or Folder to save");
}

namespace {
std::string shaOf(const std::string& path) {
    for (const auto& m : manifest())
        if (m.partition == "NTFS" && m.path == path)
            return m.sha;
    return {};
}
} // namespace

TEST_F(ScanPage, StopOrPauseLeftFromTheScanDoNotSpoilTheSave) {
    VELMORA_REQUIRE_FIXTURE(image, "sample-disk.img");
    auto page = open(image, sampleNtfs());
    // A Stop and a Pause that land as the scan ends (the parser has read everything).
    hooked.onText = [&](const std::string& t) {
        if (t == kScanDone) {
            page->activeParser()->requestStop();
            page->pauseGate().pause();
        }
    };
    ASSERT_TRUE(page->initPage());
    settle(*page);
    hooked.onText = nullptr;
    CXHtmlTree& t = page->resultTree();
    TreeItem pictures = childNamed(t, page->browser()->root(), "Pictures");
    ASSERT_NE(pictures, kTreeRoot);
    test::TempDir out;
    dialogs.folder = out.path();

    // A double-click save (on this thread) writes the whole file.
    page->browser()->fillChildren(pictures);
    page->itemDoubleClicked(childNamed(t, pictures, "photo1.jpg"));
    ASSERT_TRUE(stdfs::exists(out.path() / "photo1.jpg"));
    EXPECT_EQ(sha256(out.path() / "photo1.jpg"), shaOf("Pictures/photo1.jpg"));

    // A ticked folder never opened is dumped from the parser's entries.
    TreeItem holiday = childNamed(t, pictures, "Holiday");
    t.setCheck(holiday, true);
    t.setCheck(childNamed(t, pictures, "photo1.jpg"), true);
    dialogs.answers = {true};
    page->savePressed();
    bool ended = endsWithin(*page, 20);
    if (!ended)
        page->stopPressed();  // let the test end
    settle(*page);
    ASSERT_TRUE(ended) << "the save waited for a Resume";
    for (const char* f : {"Pictures/photo1.jpg", "Pictures/Holiday/beach.png"}) {
        ASSERT_TRUE(stdfs::exists(out.path() / f)) << f;
        EXPECT_EQ(sha256(out.path() / f), shaOf(f)) << f;
    }
    EXPECT_EQ(dialogs.messages.back(), "Saving Process Completed..");
}

TEST_F(ScanPage, StopEndsASavePausedInsideAFile) {
    VELMORA_REQUIRE_FIXTURE(image, "sample-disk.img");
    auto page = open(image, sampleNtfs());
    ASSERT_TRUE(page->initPage());
    settle(*page);
    CXHtmlTree& t = page->resultTree();
    TreeItem pictures = childNamed(t, page->browser()->root(), "Pictures");
    page->browser()->fillChildren(pictures);
    TreeItem photo = childNamed(t, pictures, "photo1.jpg");
    ASSERT_NE(photo, kTreeRoot);
    t.setCheck(photo, true);

    test::TempDir out;
    dialogs.folder = out.path();
    dialogs.answers = {true};
    // Pause pressed while the question is answered: the worker stops in the file's first piece.
    hooked.onText = [&](const std::string& q) {
        if (q == "Do you want to Save Deleted Files?")
            page->pauseGate().pause();
    };
    page->savePressed();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(page->workerRunning());
    page->stopPressed();
    bool ended = endsWithin(*page, 5);
    if (!ended)
        page->resumePressed();
    settle(*page);
    EXPECT_TRUE(ended) << "Stop did not end a paused save";
    EXPECT_EQ(dialogs.messages.back(), "Saving Process Completed..");
    EXPECT_TRUE(page->findChild<QPushButton*>("1269")->isEnabled());
}

// A destination that takes no files (read-only) or no data (full): every failure is
// reported, the run goes on to its end and the page is usable again.
TEST_F(ScanPage, SaveToAReadOnlyOrFullFileSystemReportsTheFailures) {
    VELMORA_REQUIRE_FIXTURE(image, "sample-disk.img");
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    auto page = open(image, sampleNtfs());
    ASSERT_TRUE(page->initPage());
    settle(*page);
    CXHtmlTree& t = page->resultTree();
    TreeItem root = page->browser()->root();
    for (const char* name : {"Pictures", "Documents", "readme.txt"})
        t.setCheck(childNamed(t, root, name), true);

    struct Case {
        const char* options;
        const char* why;
    } cases[] = {{"ro,size=1m", "Read-only"}, {"size=8k", "No space"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        test::TempDir mnt;
        if (test::run("mount -t tmpfs -o " + std::string(c.options) + " velmora-test '" + mnt.path().string() + "'") != 0)
            GTEST_SKIP() << "cannot mount tmpfs";
        dialogs.messages.clear();
        dialogs.folder = mnt.path();
        dialogs.answers = {true};
        page->savePressed();
        settle(*page);
        test::run("umount '" + mnt.path().string() + "'");
        std::vector<std::string> failures;
        for (const auto& m : dialogs.messages)
            if (m.rfind("Exception :  ", 0) == 0)
                failures.push_back(m);
        ASSERT_FALSE(failures.empty());
        EXPECT_NE(failures.front().find(c.why), std::string::npos) << failures.front();
        EXPECT_EQ(dialogs.messages.back(), "Saving Process Completed..");
        EXPECT_EQ(page->statusText().toStdString(), "Saving Process Completed..");
        EXPECT_TRUE(page->findChild<QPushButton*>("1269")->isEnabled());
    }

    // A destination that cannot be made at all: the save and a double-click save say so.
    test::TempDir dir;
    std::ofstream(dir.path() / "plain-file") << "x";
    dialogs.messages.clear();
    dialogs.folder = dir.path() / "plain-file" / "sub";
    dialogs.answers = {true};
    page->savePressed();
    settle(*page);
    ASSERT_GE(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages.end()[-2].rfind("Exception :  ", 0), 0u) << dialogs.messages.end()[-2];
    dialogs.messages.clear();
    page->itemDoubleClicked(childNamed(t, root, "readme.txt"));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].rfind("Exception :  ", 0), 0u) << dialogs.messages[0];
}
