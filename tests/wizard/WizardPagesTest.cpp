// The wizard from the drive list to the recovery mode page, driven by control ids on real
// disk images.
#include "../app/QtTestApp.h"

#include "app/CKestrumApp.h"
#include "app/DriveParsingModes.h"
#include "app/ParceModeNtfsDlg.h"
#include "app/Physical_DriveDialog.h"
#include "app/PopulateDriveDlg.h"
#include "app/VolumeOperations.h"
#include "disk/readWriteInterface.h"
#include "Fixtures.h"
#include "ui/CXHtmlTreeWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <fstream>

using namespace velmora;

namespace {

using Row = std::array<std::string, 4>;

// A reader that tells when it is thrown away.
class MarkerReader final : public readWriteInterface {
public:
    explicit MarkerReader(bool* destroyed) : destroyed_(destroyed) {}
    ~MarkerReader() override { *destroyed_ = true; }
    bool open(const std::string&) override { return false; }

private:
    bool* destroyed_;
};

class DemoSuccessor : public WizardPage {
public:
    DemoSuccessor(int id, CKestrumApp& app, QWidget* parent) : WizardPage(id, app, parent) {}
};

template <typename T>
T* child(QWidget* page, const char* id) {
    T* w = page->findChild<T*>(QLatin1String(id));
    EXPECT_NE(w, nullptr) << "no control " << id;
    return w;
}

template <typename T>
T* successorOf(WizardPage* page) {
    return page ? qobject_cast<T*>(page->successor()) : nullptr;
}

void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

std::vector<Row> rows(QWidget* page) {
    auto* list = page->findChild<QTableWidget*>(QStringLiteral("1031"));
    std::vector<Row> out;
    if (!list)
        return out;
    for (int r = 0; r < list->rowCount(); ++r) {
        Row row;
        for (int c = 0; c < 4; ++c)
            row[size_t(c)] = list->item(r, c) ? list->item(r, c)->text().toStdString() : std::string();
        out.push_back(row);
    }
    return out;
}

// A mouse click on a row of the volume list, as the user makes it.
void clickRow(QWidget* page, int row) {
    auto* list = page->findChild<QTableWidget*>(QStringLiteral("1031"));
    ASSERT_NE(list, nullptr);
    ASSERT_LT(row, list->rowCount());
    QRect r = list->visualItemRect(list->item(row, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

QStringList visibleChoices(QWidget* page) {
    QStringList out;
    for (const char* id : {"1047", "1048", "1049"}) {
        auto* r = page->findChild<QRadioButton*>(QLatin1String(id));
        if (r && !r->isHidden())
            out << r->text();
    }
    return out;
}

class Wizard : public ::testing::Test {
protected:
    Wizard() {
        test::qtApp();
        AppOptions o;
        o.lockName = "wizard-test-" + std::to_string(getpid());
        o.dialogs = &dialogs;
        o.exitProcess = [](int) {};
        app = std::make_unique<CKestrumApp>(std::move(o));
    }
    ~Wizard() override {
        first.reset();
        flushDeletes();
        ParceModeNtfsDlg::setScanResultsFactory({});
        ParceModeNtfsDlg::setAdvanceOptionsFactory({});
        PopulateDriveDlg::setRawRecoveryFactory({});
    }

    // The drive page with the images named as on the command line and only the given
    // system drives and volumes.
    Physical_DriveDialog* start(std::vector<std::string> images, std::vector<PhysicalDrive> drives = {},
                                std::vector<MountedVolume> volumes = {}) {
        app->setImageArguments(std::move(images));
        first = std::make_unique<Physical_DriveDialog>(*app, nullptr);
        first->setSources({[drives] { return drives; }, [volumes] { return volumes; }});
        EXPECT_TRUE(first->initPage());
        first->show();
        return first.get();
    }

    // 130 → 152 → 134 on the drive that is selected.
    PopulateDriveDlg* toPartitionList(bool gpt = false) {
        child<QPushButton>(first.get(), "1003")->click();
        auto* modes = successorOf<DriveParsingModes>(first.get());
        EXPECT_NE(modes, nullptr);
        if (!modes)
            return nullptr;
        if (gpt)
            child<QCheckBox>(modes, "1253")->click();
        child<QPushButton>(modes, "1229")->click();
        return successorOf<PopulateDriveDlg>(modes);
    }

    // Selects `row`, optionally with custom settings, and presses Next.
    ParceModeNtfsDlg* toRecoveryMode(PopulateDriveDlg* list, int row) {
        clickRow(list, row);
        child<QPushButton>(list, "1046")->click();
        return successorOf<ParceModeNtfsDlg>(list);
    }

    ScriptedDialogs dialogs;
    std::unique_ptr<CKestrumApp> app;
    std::unique_ptr<Physical_DriveDialog> first;
};

} // namespace

TEST_F(Wizard, DrivePageListsImagesAndGreysDevicesItCannotOpen) {
    VELMORA_REQUIRE_FIXTURE(image, "mbr-disk.img");
    PhysicalDrive locked;
    locked.devicePath = "/dev/sdz";
    locked.model = "Locked Disk";
    locked.readable = false;
    locked.reason = "needs administrator rights (permission denied)";
    PhysicalDrive open;
    open.devicePath = "/dev/sdy";
    open.readable = true;
    Physical_DriveDialog* page = start({image.string()}, {locked, open});

    auto* tree = child<CXHtmlTreeWidget>(page, "1022");
    CXHtmlTree& t = tree->tree();
    auto roots = t.children(kTreeRoot);
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_EQ(t.itemText(roots[0]), "     VOLUMES:");
    EXPECT_EQ(t.itemText(roots[1]), "     PHYSICAL DRIVES:");
    auto drives = t.children(roots[1]);
    ASSERT_EQ(drives.size(), 3u);
    // Model when there is one, else the device path; an image by its file name.
    EXPECT_EQ(t.itemText(drives[0]), "Locked Disk");
    EXPECT_EQ(t.itemText(drives[1]), "/dev/sdy");
    EXPECT_EQ(t.itemText(drives[2]), "mbr-disk.img");
    EXPECT_EQ(page->drives()[t.itemData(drives[2])].devicePath, image.string());

    QTreeWidgetItem* lockedItem = tree->widgetItem(drives[0]);
    ASSERT_NE(lockedItem, nullptr);
    EXPECT_FALSE(lockedItem->flags() & Qt::ItemIsEnabled);
    EXPECT_TRUE(lockedItem->toolTip(0).contains("administrator rights")) << lockedItem->toolTip(0).toStdString();
    EXPECT_TRUE(tree->widgetItem(drives[1])->flags() & Qt::ItemIsEnabled);

    // The image named at start-up is selected and leads on with its path.
    ASSERT_NE(page->selectedDrive(), nullptr);
    EXPECT_EQ(page->selectedDrive()->devicePath, image.string());

    // Adding the same image again only selects it; a missing file is listed greyed.
    dialogs.file = image;
    child<QPushButton>(page, "addDiskImage")->click();
    EXPECT_EQ(t.children(roots[1]).size(), 3u);
    dialogs.file = image.parent_path() / "no-such-image.img";
    child<QPushButton>(page, "addDiskImage")->click();
    auto after = t.children(roots[1]);
    ASSERT_EQ(after.size(), 4u);
    EXPECT_FALSE(tree->widgetItem(after[3])->flags() & Qt::ItemIsEnabled);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find("no-such-image.img"), std::string::npos);
    // A folder opens read-only but has no sectors.
    dialogs.file = image.parent_path();
    child<QPushButton>(page, "addDiskImage")->click();
    after = t.children(roots[1]);
    ASSERT_EQ(after.size(), 5u);
    EXPECT_FALSE(tree->widgetItem(after[4])->flags() & Qt::ItemIsEnabled);
    EXPECT_TRUE(tree->widgetItem(after[4])->toolTip(0).contains("folder"));
    EXPECT_EQ(page->selectedDrive()->devicePath, image.string());

    // An image that appears after it was listed greyed can be added again and chosen; one
    // that went away is greyed when added again.
    test::TempDir dir;
    std::filesystem::path late = dir.path() / "late.img";
    dialogs.file = late;
    child<QPushButton>(page, "addDiskImage")->click();
    after = t.children(roots[1]);
    ASSERT_EQ(after.size(), 6u);
    EXPECT_FALSE(tree->widgetItem(after[5])->flags() & Qt::ItemIsEnabled);
    std::filesystem::copy_file(image, late);
    child<QPushButton>(page, "addDiskImage")->click();
    EXPECT_EQ(t.children(roots[1]).size(), 6u);
    EXPECT_TRUE(tree->widgetItem(after[5])->flags() & Qt::ItemIsEnabled);
    ASSERT_NE(page->selectedDrive(), nullptr);
    EXPECT_EQ(page->selectedDrive()->devicePath, late.string());
    std::filesystem::remove(late);
    child<QPushButton>(page, "addDiskImage")->click();
    EXPECT_FALSE(tree->widgetItem(after[5])->flags() & Qt::ItemIsEnabled);
}

TEST_F(Wizard, NextWithoutADriveOrVolumeAsksForOne) {
    Physical_DriveDialog* page = start({});
    auto* next = child<QPushButton>(page, "1003");
    next->click();  // nothing selected
    page->selectItem(page->volumesItem());
    next->click();  // a root item
    page->selectItem(page->drivesItem());
    next->click();
    EXPECT_EQ(dialogs.messages, std::vector<std::string>(3, "Please select a volume or a drive.."));
    EXPECT_EQ(page->successor(), nullptr);
    EXPECT_TRUE(page->isVisible());
    // Whatever was selected, a fresh reader waits for the next page.
    EXPECT_NE(app->session.reader, nullptr);
    EXPECT_EQ(app->session.previousPageId, 130);
}

TEST_F(Wizard, MbrDiskIsListedAndCustomSettingsReachTheRecoveryModePage) {
    VELMORA_REQUIRE_FIXTURE(image, "mbr-disk.img");
    start({image.string()});
    child<QPushButton>(first.get(), "1003")->click();
    auto* modes = successorOf<DriveParsingModes>(first.get());
    ASSERT_NE(modes, nullptr);
    EXPECT_FALSE(first->isVisible());
    EXPECT_FALSE(app->session.isVolume);
    EXPECT_EQ(modes->objectName(), QStringLiteral("152"));
    EXPECT_EQ(child<QLabel>(modes, "1263")->text().toStdString(), image.string());
    EXPECT_TRUE(child<QRadioButton>(modes, "1323")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(modes, "1253")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(modes, "1153")->isEnabled());
    for (const char* id : {"1157", "1158"}) {
        EXPECT_EQ(child<QLineEdit>(modes, id)->text(), QStringLiteral("0"));
        EXPECT_FALSE(child<QLineEdit>(modes, id)->isEnabled());
    }
    EXPECT_EQ(app->session.totalSectors, 231424);

    child<QPushButton>(modes, "1229")->click();
    auto* list = successorOf<PopulateDriveDlg>(modes);
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(modes->isVisible());
    EXPECT_EQ(rows(list), (std::vector<Row>{{"0", "FAT16", "32   MB", "2048"},
                                            {"1", "NTFS", "16   MB", "69632"},
                                            {"2", "FAT32", "40   MB", "104448"},
                                            {"3", "extX", "8   MB", "188416"},
                                            {"4", "FAT64", "8   MB", "204800"},
                                            {"5", "FAT12", "4   MB", "221184"}}));
    EXPECT_EQ(child<QLabel>(list, "1316")->text(), QStringLiteral("Select volume and click next button..."));
    EXPECT_TRUE(child<QProgressBar>(list, "1254")->isHidden());
    EXPECT_TRUE(child<QPushButton>(list, "1034")->isHidden());
    EXPECT_TRUE(child<QPushButton>(list, "1160")->isHidden());
    EXPECT_TRUE(child<QPushButton>(list, "1229")->isEnabled());
    EXPECT_TRUE(child<QLabel>(list, "gptHint")->isHidden());
    auto* custom = child<QCheckBox>(list, "1131");
    EXPECT_TRUE(custom->isEnabled());
    EXPECT_FALSE(child<QLineEdit>(list, "1146")->isEnabled());
    auto* treatAs = child<QComboBox>(list, "1152");
    QStringList fsNames;
    for (int i = 0; i < treatAs->count(); ++i)
        fsNames << treatAs->itemText(i);
    EXPECT_EQ(fsNames, (QStringList{"EXTX", "FAT16", "FAT32", "FAT64", "HFS+", "NTFS", "RAW"}));

    child<QPushButton>(list, "1046")->click();
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"please select a valid volume."});

    // A row fills the custom fields and picks its file system in the list.
    clickRow(list, 1);
    EXPECT_EQ(child<QLabel>(list, "1143")->text(), QStringLiteral("1"));
    EXPECT_EQ(child<QLineEdit>(list, "1146")->text(), QStringLiteral("69632"));
    EXPECT_EQ(child<QLineEdit>(list, "1149")->text(), QString::number(69632 + 16 * 2048 - 1));
    EXPECT_EQ(treatAs->currentText(), QStringLiteral("NTFS"));
    clickRow(list, 3);
    EXPECT_EQ(treatAs->currentText(), QStringLiteral("EXTX"));
    clickRow(list, 5);  // nothing starts with FAT12: the choice stays
    EXPECT_EQ(treatAs->currentText(), QStringLiteral("EXTX"));

    // Custom settings: 100 MB from sector 2048, treated as FAT32.
    clickRow(list, 1);
    custom->click();
    EXPECT_TRUE(child<QLineEdit>(list, "1146")->isEnabled());
    child<QLineEdit>(list, "1146")->setText(QStringLiteral("2048"));
    child<QLineEdit>(list, "1149")->setText(QString::number(2048 + 100 * 2048 - 1));
    treatAs->setCurrentIndex(treatAs->findText(QStringLiteral("FAT32")));
    child<QPushButton>(list, "1046")->click();
    auto* mode = successorOf<ParceModeNtfsDlg>(list);
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->previousPageId(), 134);
    EXPECT_EQ(mode->selectedVolume().sizeText, "100");
    EXPECT_EQ(mode->selectedVolume().startSector, 2048);
    EXPECT_EQ(mode->selectedVolume().fsName, "fat32");
    EXPECT_EQ(mode->selectedVolume().volumeId, "1");
    EXPECT_EQ(visibleChoices(mode), (QStringList{"Standard", "Advanced"}));

    // Back, untick the box: the record gets the values the row shows again.
    child<QPushButton>(mode, "1051")->click();
    flushDeletes();
    EXPECT_TRUE(list->isVisible());
    custom->click();
    child<QPushButton>(list, "1046")->click();
    mode = successorOf<ParceModeNtfsDlg>(list);
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->selectedVolume().fsName, "NTFS");
    EXPECT_EQ(mode->selectedVolume().sizeText, "16");
    EXPECT_EQ(mode->selectedVolume().startSector, 69632);

    // An end at or below the start gives no size.
    child<QPushButton>(mode, "1051")->click();
    flushDeletes();
    custom->click();
    child<QLineEdit>(list, "1149")->setText(QStringLiteral("1000"));
    child<QPushButton>(list, "1046")->click();
    mode = successorOf<ParceModeNtfsDlg>(list);
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->selectedVolume().sizeText, "0");
}

TEST_F(Wizard, RecoveryModeChoicesFollowTheFileSystem) {
    VELMORA_REQUIRE_FIXTURE(image, "mbr-disk.img");
    start({image.string()});
    PopulateDriveDlg* list = toPartitionList();
    ASSERT_NE(list, nullptr);
    struct Case {
        int row;
        QStringList choices;
        bool formattedWithAdvanced;
    } cases[] = {
        {1, {"Standard", "Advanced", "Deep"}, false},  // NTFS
        {0, {"Standard", "Advanced"}, true},           // FAT16
        {2, {"Standard", "Advanced"}, true},           // FAT32
        {4, {"Standard", "Advanced"}, true},           // FAT64, the partition scan's exFAT
        {5, {"Standard", "Advanced"}, true},           // FAT12
        {3, {"Standard"}, false},                      // extX
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(rows(list)[size_t(c.row)][1]);
        ParceModeNtfsDlg* mode = toRecoveryMode(list, c.row);
        ASSERT_NE(mode, nullptr);
        EXPECT_EQ(visibleChoices(mode), c.choices);
        EXPECT_TRUE(child<QRadioButton>(mode, "1047")->isChecked());
        EXPECT_EQ(mode->recoveryMode(), 1);
        for (const char* id : {"1128", "1129", "1130", "1255"})
            EXPECT_TRUE(child<QWidget>(mode, id)->isHidden()) << id;
        if (c.choices.contains("Advanced")) {
            child<QRadioButton>(mode, "1048")->click();
            EXPECT_EQ(mode->recoveryMode(), 2);
            EXPECT_FALSE(child<QWidget>(mode, "1129")->isHidden());
            EXPECT_EQ(child<QLineEdit>(mode, "1129")->text(), QStringLiteral("3"));
            EXPECT_EQ(mode->maxFileSystems(), 3);
            EXPECT_EQ(!child<QCheckBox>(mode, "1255")->isHidden(), c.formattedWithAdvanced);
        }
        child<QPushButton>(mode, "1051")->click();
        flushDeletes();
        EXPECT_TRUE(list->isVisible());
    }
}

TEST_F(Wizard, AdvancedModeOptionsAndNextHook) {
    VELMORA_REQUIRE_FIXTURE(image, "mbr-disk.img");
    start({image.string()});
    PopulateDriveDlg* list = toPartitionList();
    ASSERT_NE(list, nullptr);
    ParceModeNtfsDlg* mode = toRecoveryMode(list, 2);  // FAT32
    ASSERT_NE(mode, nullptr);

    child<QRadioButton>(mode, "1048")->click();
    child<QCheckBox>(mode, "1255")->click();
    EXPECT_TRUE(app->session.driveFormatted);
    child<QLineEdit>(mode, "1129")->setText(QStringLiteral("7"));
    EXPECT_EQ(mode->maxFileSystems(), 7);
    // Another mode forgets the answer and hides the box again.
    child<QRadioButton>(mode, "1049")->click();
    EXPECT_FALSE(app->session.driveFormatted);
    EXPECT_TRUE(child<QCheckBox>(mode, "1255")->isHidden());
    EXPECT_FALSE(child<QCheckBox>(mode, "1255")->isChecked());
    EXPECT_EQ(mode->recoveryMode(), 3);

    // Without a successor page, Next says so and stays.
    child<QRadioButton>(mode, "1047")->click();
    child<QPushButton>(mode, "1053")->click();
    child<QRadioButton>(mode, "1048")->click();
    child<QPushButton>(mode, "1053")->click();
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"The scan results page is not available yet.",
                                                          "The advance options page is not available yet."}));
    EXPECT_TRUE(mode->isVisible());

    // With one, the successor reads the choice from this page.
    VolumeInfo seen;
    int seenMode = 0;
    int64_t seenMax = 0;
    ParceModeNtfsDlg::setAdvanceOptionsFactory([&](ParceModeNtfsDlg& p) -> WizardPage* {
        seen = p.selectedVolume();
        seenMode = p.recoveryMode();
        seenMax = p.maxFileSystems();
        return new DemoSuccessor(153, p.app(), &p);
    });
    child<QPushButton>(mode, "1053")->click();
    EXPECT_EQ(seen.fsName, "FAT32");
    EXPECT_EQ(seen.startSector, 104448);
    EXPECT_EQ(seenMode, 2);
    EXPECT_EQ(seenMax, 7);
    ASSERT_NE(mode->successor(), nullptr);
    EXPECT_TRUE(mode->successor()->isVisible());
    EXPECT_FALSE(mode->isVisible());
}

TEST_F(Wizard, BackAndNextScanAgainWithANewReader) {
    VELMORA_REQUIRE_FIXTURE(image, "mbr-disk.img");
    start({image.string()});
    PopulateDriveDlg* list = toPartitionList();
    ASSERT_NE(list, nullptr);
    auto* modes = qobject_cast<DriveParsingModes*>(list->parentWidget());
    ASSERT_NE(modes, nullptr);
    child<QPushButton>(list, "1036")->click();
    flushDeletes();
    EXPECT_TRUE(modes->isVisible());
    EXPECT_EQ(modes->successor(), nullptr);

    bool oldReaderGone = false;
    app->session.reader = std::make_unique<MarkerReader>(&oldReaderGone);
    child<QPushButton>(modes, "1229")->click();
    auto* again = successorOf<PopulateDriveDlg>(modes);
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(oldReaderGone);
    auto* reader = dynamic_cast<FileReadSeek*>(app->session.reader.get());
    ASSERT_NE(reader, nullptr);
    EXPECT_TRUE(reader->isOpen());
    EXPECT_EQ(rows(again).size(), 6u);

    // Back twice reaches the drive page again.
    child<QPushButton>(again, "1036")->click();
    flushDeletes();
    child<QPushButton>(modes, "1051")->click();
    flushDeletes();
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->successor(), nullptr);
}

TEST_F(Wizard, GptDiskWithoutTheGptChoiceIsOneUnknownRowWithAHint) {
    VELMORA_REQUIRE_FIXTURE(image, "gpt-disk.img");
    start({image.string()});
    PopulateDriveDlg* list = toPartitionList();
    ASSERT_NE(list, nullptr);
    auto r = rows(list);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0][1], "Unknown");
    auto* hint = child<QLabel>(list, "gptHint");
    EXPECT_FALSE(hint->isHidden());
    EXPECT_TRUE(hint->text().contains("GPT format"));
    EXPECT_EQ(child<QLabel>(list, "1316")->text(), QStringLiteral("Select volume and click next button..."));

    clickRow(list, 0);
    child<QPushButton>(list, "1046")->click();
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"can not parse unknown volume"});
    EXPECT_EQ(list->successor(), nullptr);

    // Treated as RAW it goes on to raw recovery.
    child<QCheckBox>(list, "1131")->click();
    auto* treatAs = child<QComboBox>(list, "1152");
    treatAs->setCurrentIndex(treatAs->findText(QStringLiteral("RAW")));
    child<QPushButton>(list, "1046")->click();
    EXPECT_EQ(dialogs.messages.back(), "The raw recovery page is not available yet.");
    std::string rawFs;
    PopulateDriveDlg::setRawRecoveryFactory([&](PopulateDriveDlg& p) -> WizardPage* {
        rawFs = p.currentVolume()->fsName;
        return new DemoSuccessor(151, p.app(), &p);
    });
    child<QPushButton>(list, "1046")->click();
    EXPECT_EQ(rawFs, "RAW");
    ASSERT_NE(list->successor(), nullptr);
    EXPECT_EQ(list->successor()->objectName(), QStringLiteral("151"));

    // "Filter Entries" with a single record empties the list.
    static_cast<WizardPage*>(list->successor())->goBack();
    flushDeletes();
    child<QPushButton>(list, "1229")->click();
    EXPECT_TRUE(rows(list).empty());
}

TEST_F(Wizard, GptDiskWithTheGptChoiceAndHfsPlus) {
    VELMORA_REQUIRE_FIXTURE(image, "gpt-disk.img");
    start({image.string()});
    PopulateDriveDlg* list = toPartitionList(true);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(rows(list), (std::vector<Row>{{"0", "NTFS", "15   MB", "2048"},
                                            {"1", "FAT32", "40  MB", "34816"},
                                            {"2", "extX", "8", "116736"},
                                            {"3", "FAT64", "8  MB", "133120"},
                                            {"4", "scratch space", "2", "182272"},
                                            {"5", "FAT16", "32  MB", "186368"}}));
    EXPECT_TRUE(child<QLabel>(list, "gptHint")->isHidden());
    // A size without a unit still gives the end sector.
    clickRow(list, 2);
    EXPECT_EQ(child<QLineEdit>(list, "1149")->text(), QString::number(116736 + 8 * 2048 - 1));
    // A GPT name reaches the recovery mode page, which offers every mode for it.
    ParceModeNtfsDlg* mode = toRecoveryMode(list, 4);
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(visibleChoices(mode), (QStringList{"Standard", "Advanced", "Deep"}));

    auto hfs = test::sharedFile("fixtures/hfsplus/gpt-hfs.img");
    if (!std::filesystem::exists(hfs)) {
        if (test::inCi())
            FAIL() << "missing " << hfs;
        GTEST_SKIP() << "shared HFS+ images not present";
    }
    first.reset();
    flushDeletes();
    start({hfs.string()});
    list = toPartitionList(true);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(rows(list), (std::vector<Row>{{"0", "HFS+", "16", "2048"}}));
    mode = toRecoveryMode(list, 0);
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->fsPrefix(), "HFS");
    EXPECT_EQ(visibleChoices(mode), (QStringList{"Standard", "Deep"}));
}

TEST_F(Wizard, MountedVolumeShowsItsInformationAndItsModes) {
    VELMORA_REQUIRE_FIXTURE(image, "mbr-disk.img");
    auto volume = [](const char* mount, const char* fs, uint64_t mb, bool readable) {
        MountedVolume v;
        v.mountPoint = mount;
        v.devicePath = std::string("/dev/") + (mount + 5);
        v.fsName = fs;
        v.sizeBytes = mb << 20;
        v.readable = readable;
        if (!readable)
            v.reason = "needs administrator rights (permission denied)";
        return v;
    };
    Physical_DriveDialog* page = start({}, {},
                                       {volume("/mnt/usbstick", "exFAT", 8, true), volume("/mnt/data", "NTFS", 500, true),
                                        volume("/mnt/locked", "extX", 20, false)});
    CXHtmlTree& t = page->driveTree()->tree();
    auto items = t.children(page->volumesItem());
    ASSERT_EQ(items.size(), 3u);
    // From the last to the first.
    EXPECT_EQ(t.itemText(items[0]), "/mnt/locked");
    EXPECT_EQ(t.itemText(items[1]), "/mnt/data");
    EXPECT_EQ(t.itemText(items[2]), "/mnt/usbstick");
    EXPECT_FALSE(page->driveTree()->widgetItem(items[0])->flags() & Qt::ItemIsEnabled);

    page->selectItem(items[2]);
    child<QPushButton>(page, "1003")->click();
    auto* info = successorOf<VolumeOperations>(page);
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(app->session.isVolume);
    EXPECT_EQ(child<QLabel>(info, "1039")->text(), QStringLiteral("/mnt/usbstick"));
    EXPECT_EQ(child<QLabel>(info, "1041")->text(), QStringLiteral("exFAT"));
    EXPECT_EQ(child<QLabel>(info, "1042")->text(), QStringLiteral("8  MB"));
    EXPECT_EQ(child<QLabel>(info, "1097")->text(), QStringLiteral("/mnt/usbstick"));
    EXPECT_TRUE(child<QLabel>(info, "1097")->isHidden());

    child<QPushButton>(info, "1046")->click();
    auto* mode = successorOf<ParceModeNtfsDlg>(info);
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->previousPageId(), 135);
    EXPECT_EQ(mode->selectedVolume().volumeId, "/dev/usbstick");
    EXPECT_EQ(visibleChoices(mode), (QStringList{"Standard", "Advanced"}));
    child<QRadioButton>(mode, "1048")->click();
    EXPECT_TRUE(child<QCheckBox>(mode, "1255")->isHidden());  // "exF" is not "fat"

    // Back to the drive page, another volume: a new page with its values.
    child<QPushButton>(mode, "1051")->click();
    flushDeletes();
    child<QPushButton>(info, "1037")->click();
    flushDeletes();
    EXPECT_TRUE(page->isVisible());
    page->selectItem(items[1]);
    child<QPushButton>(page, "1003")->click();
    info = successorOf<VolumeOperations>(page);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(child<QLabel>(info, "1041")->text(), QStringLiteral("NTFS"));
    EXPECT_EQ(child<QLabel>(info, "1042")->text(), QStringLiteral("500  MB"));
}

TEST_F(Wizard, CustomVolumeAndSectorArrows) {
    VELMORA_REQUIRE_FIXTURE(image, "mbr-disk.img");
    start({image.string()});
    PopulateDriveDlg* list = toPartitionList();
    ASSERT_NE(list, nullptr);

    list->onAddCustomVolume();
    auto r = rows(list);
    ASSERT_EQ(r.size(), 7u);
    EXPECT_EQ(r.back(), (Row{"6", "CUSTOM ", "0", "0"}));
    EXPECT_EQ(list->selectedRow(), 6);
    EXPECT_TRUE(child<QCheckBox>(list, "1131")->isChecked());
    auto* start = child<QLineEdit>(list, "1146");
    auto* end = child<QLineEdit>(list, "1149");
    EXPECT_EQ(start->text(), QStringLiteral("0"));
    EXPECT_EQ(end->text(), QStringLiteral("0"));

    // Up counts up, down counts down but never below 0.
    auto* arrows = child<UpDownControl>(list, "1145");
    arrows->upButton()->click();
    arrows->upButton()->click();
    EXPECT_EQ(start->text(), QStringLiteral("2"));
    for (int i = 0; i < 3; ++i)
        arrows->downButton()->click();
    EXPECT_EQ(start->text(), QStringLiteral("0"));
    child<UpDownControl>(list, "1151")->upButton()->click();
    EXPECT_EQ(end->text(), QStringLiteral("1"));

    // "CUSTOM " is a file system no parser knows, yet it is not "unknown".
    start->setText(QStringLiteral("69632"));
    end->setText(QString::number(69632 + 16 * 2048 - 1));
    auto* treatAs = child<QComboBox>(list, "1152");
    treatAs->setCurrentIndex(treatAs->findText(QStringLiteral("NTFS")));
    child<QPushButton>(list, "1046")->click();
    auto* mode = successorOf<ParceModeNtfsDlg>(list);
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->selectedVolume().fsName, "ntfs");
    EXPECT_EQ(mode->selectedVolume().sizeText, "16");
    EXPECT_EQ(mode->selectedVolume().startSector, 69632);
}

TEST_F(Wizard, FilterEntriesKeepsVolumesThatStartOneSectorAfterTheirPredecessor) {
    // A hand-made MBR: ext volumes at 2048, 2049 and 2050, and one far away at 3000.
    test::TempDir dir;
    auto path = dir.path() / "neighbours.img";
    std::vector<uint8_t> disk(4096 * 512, 0);
    const uint32_t starts[] = {2048, 2049, 2050, 3000};
    for (int i = 0; i < 4; ++i) {
        uint8_t* e = disk.data() + 0x1BE + 16 * i;
        e[4] = 0x83;
        for (int b = 0; b < 4; ++b) {
            e[8 + b] = uint8_t(starts[i] >> (8 * b));
            e[12 + b] = uint8_t(uint32_t(2048) >> (8 * b));
        }
    }
    disk[510] = 0x55;
    disk[511] = 0xAA;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(disk.data()), std::streamsize(disk.size()));

    start({path.string()});
    PopulateDriveDlg* list = toPartitionList();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(rows(list).size(), 4u);
    child<QPushButton>(list, "1229")->click();
    // Each kept record goes on top, numbered by its place in the scan.
    EXPECT_EQ(rows(list), (std::vector<Row>{{"2", "extX", "1   MB", "2050"}, {"1", "extX", "1   MB", "2049"}}));
    // A kept row still leads on to its record.
    ParceModeNtfsDlg* mode = toRecoveryMode(list, 1);
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->selectedVolume().startSector, 2049);
}

TEST(WizardText, LeadingNumbers) {
    struct Case {
        const char* text;
        int64_t value;
    } cases[] = {{"2048", 2048},   {"  77 MB", 77},  {"-5", -5},   {"+9", 9},  {"abc", 0},
                 {"", 0},          {"12abc", 12},    {"- 3", 0},   {"99999999999999999999", INT64_MAX},
                 {"-99999999999999999999", INT64_MIN}, {"9223372036854775807", INT64_MAX}};
    for (const Case& c : cases)
        EXPECT_EQ(wizard::leadingNumber(std::string(c.text)), c.value) << c.text;
}
