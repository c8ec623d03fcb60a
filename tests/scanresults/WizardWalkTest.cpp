// The whole road of a recovery on the bundled sample disk, driven by control ids.
#include "../app/QtTestApp.h"
#include "Fixtures.h"

#include "app/CKestrumApp.h"
#include "app/DriveParsingModes.h"
#include "app/ParceModeNtfsDlg.h"
#include "app/Physical_DriveDialog.h"
#include "app/PopulateDriveDlg.h"
#include "app/VolumeScanDlg.h"
#include "app/WizardRoutes.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>
#include <unistd.h>

using namespace velmora;

namespace {

void press(QWidget* page, const char* id) {
    auto* b = page->findChild<QPushButton*>(QLatin1String(id));
    ASSERT_NE(b, nullptr) << id;
    b->click();
}

} // namespace

TEST(WizardWalk, SampleDiskFromTheDriveListToSavedFiles) {
    VELMORA_REQUIRE_FIXTURE(image, "sample-disk.img");
    test::qtApp();
    ScriptedDialogs dialogs;
    AppOptions o;
    o.lockName = "walk-test-" + std::to_string(getpid());
    o.dialogs = &dialogs;
    o.exitProcess = [](int) {};
    CKestrumApp app(std::move(o));
    installWizardRoutes();
    app.setImageArguments({image.string()});

    Physical_DriveDialog drives(app, nullptr);
    drives.setSources({[] { return std::vector<PhysicalDrive>{}; }, [] { return std::vector<MountedVolume>{}; }});
    ASSERT_TRUE(drives.initPage());
    press(&drives, "1003");
    auto* modes = qobject_cast<DriveParsingModes*>(drives.successor());
    ASSERT_NE(modes, nullptr);
    press(modes, "1229");
    auto* list = qobject_cast<PopulateDriveDlg*>(modes->successor());
    ASSERT_NE(list, nullptr);
    list->clickRow(0);  // NTFS
    press(list, "1046");
    auto* mode = qobject_cast<ParceModeNtfsDlg*>(list->successor());
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->selectedVolume().fsName, "NTFS");
    mode->findChild<QRadioButton*>(QStringLiteral("1047"))->click();
    press(mode, "1053");
    auto* results = qobject_cast<VolumeScanDlg*>(mode->successor());
    ASSERT_NE(results, nullptr);
    EXPECT_TRUE(results->isVisible());
    EXPECT_FALSE(mode->isVisible());
    results->waitForWorker();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(dialogs.messages.back(), "Scanning processing done.Select save button to save the data.");

    CXHtmlTree& tree = results->resultTree();
    TreeItem old = kTreeRoot;
    for (TreeItem item : tree.children(results->browser()->root()))
        if (tree.itemText(item) == "Old Projects")
            old = item;
    ASSERT_NE(old, kTreeRoot);
    EXPECT_EQ(tree.itemTextColor(old), kDeletedColor);
    tree.setCheck(old, true);
    test::TempDir out;
    dialogs.folder = out.path();
    dialogs.answers = {true};
    press(results, "1269");
    results->waitForWorker();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(dialogs.messages.back(), "Saving Process Completed..");
    EXPECT_TRUE(std::filesystem::exists(out.path() / "Old Projects/plan.txt"));
    EXPECT_TRUE(std::filesystem::exists(out.path() / "Old Projects/budget.csv"));

    // Back from the results shows the recovery mode page again.
    press(results, "1057");
    EXPECT_TRUE(mode->isVisible());

    // Next and Back again and again: each scan page scans anew, Back is refused while it
    // scans, and the pages left behind are gone.
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        press(mode, "1053");
        auto* again = qobject_cast<VolumeScanDlg*>(mode->successor());
        ASSERT_NE(again, nullptr);
        press(again, "1057");  // disabled while the scan runs
        again->waitForWorker();
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        EXPECT_TRUE(again->isVisible());
        EXPECT_EQ(dialogs.messages.back(), "Scanning processing done.Select save button to save the data.");
        EXPECT_GT(again->resultTree().childCount(again->browser()->root()), 0u);
        press(again, "1057");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(mode->isVisible());
        EXPECT_TRUE(mode->findChildren<VolumeScanDlg*>().isEmpty());
    }
}
