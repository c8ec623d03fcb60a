// Renders the pages that exist to PNG files: velmora-screenshots OUTPUT_FOLDER [DISK_IMAGE]
// With a disk image, the wizard is walked on it from the drive list to the recovery mode.
#include "app/CKestrumApp.h"
#include "app/CSysInfoAboutDlg.h"
#include "app/DriveParsingModes.h"
#include "app/ParceModeNtfsDlg.h"
#include "app/Physical_DriveDialog.h"
#include "app/PopulateDriveDlg.h"
#include "app/VolumeOperations.h"
#include "app/VolumeScanDlg.h"
#include "app/WizardRoutes.h"
#include "scan/DisplayFormats.h"
#include "ui/CCheckListCtrl.h"
#include "ui/CXHtmlTreeWidget.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QVBoxLayout>

#include <cstdio>

using namespace velmora;

namespace {

bool save(QWidget* w, const QString& dir, const char* name) {
    if (!w->testAttribute(Qt::WA_Resized))
        w->adjustSize();
    w->show();
    QCoreApplication::processEvents();
    QString path = dir + QLatin1Char('/') + QLatin1String(name);
    bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// A result tree and file list as a scan would leave them.
QWidget* treeAndListDemo() {
    auto* page = new QWidget;
    page->setWindowTitle(QStringLiteral("Velmora"));
    auto* layout = new QVBoxLayout(page);
    auto* split = new QSplitter(page);
    auto* treeWidget = new CXHtmlTreeWidget(split);
    treeWidget->setObjectName(QStringLiteral("1042"));
    auto* list = new CCheckListCtrl(split);
    list->setObjectName(QStringLiteral("1268"));
    split->addWidget(treeWidget);
    split->addWidget(list);
    split->setSizes({300, 820});
    layout->addWidget(split);

    CXHtmlTree& t = treeWidget->tree();
    TreeItem root = t.insertItem("ROOT", kFolderImage, kFolderImage);
    TreeItem docs = t.insertItem("Documents", kFolderImage, kFolderImage, root);
    TreeItem photos = t.insertItem("Photos", kFolderImage, kFolderImage, root);
    TreeItem old = t.insertItem("Old projects", kFolderImage, kFolderImage, root);
    t.setItemTextColor(old, kDeletedColor);
    t.insertItem(kDummyItemText, kDummyImage, kDummyImage, old);
    TreeItem music = t.insertItem("Music", kFolderImage, kFolderImage, root);
    t.insertItem(kDummyItemText, kDummyImage, kDummyImage, music);
    struct File {
        TreeItem parent;
        const char* name;
        bool deleted;
    } files[] = {{docs, "report.pdf", false}, {docs, "budget.xlsx", true}, {docs, "notes.txt", false},
                 {photos, "holiday.jpg", false}, {photos, "beach.png", true}, {photos, "clip.mp4", false}};
    for (auto& f : files) {
        int image = fileImageIndex(f.name);
        TreeItem k = t.insertItem(f.name, image, image, f.parent);
        if (f.deleted)
            t.setItemTextColor(k, kDeletedColor);
    }
    t.setCheck(photos, true);
    t.setCheck(t.firstChild(docs), true);
    t.expandItem(root);
    t.expandItem(docs);
    t.expandItem(photos);
    treeWidget->syncNow();

    const char* columns[] = {"File Name", "Creation Time", "Access Time", "Modification Time", "Size", "Attribute"};
    int widths[] = {150, 150, 150, 150, 80, 70};
    for (int c = 0; c < 6; ++c)
        list->insertColumn(c, QLatin1String(columns[c]), widths[c]);
    list->initCheckHeader();
    struct Row {
        const char* name;
        int64_t time;
        uint64_t size;
        uint32_t flags;
    } rows[] = {{"holiday.jpg", 1625134500, 2456789, 0x20},
                {"beach.png", 1610732400, 734003, 0x21},
                {"clip.mp4", 1655000000, 48234496, 0x20}};
    for (int r = 0; r < 3; ++r) {
        list->insertItem(r, QLatin1String(rows[r].name));
        for (int c = 1; c <= 3; ++c)
            list->setItemText(r, c, QString::fromStdString(display::unixTimeText(rows[r].time + c * 3600)));
        list->setItemText(r, 4, QString::fromStdString(display::sizeText(rows[r].size)));
        list->setItemText(r, 5, QString::fromStdString(display::ntfsAttributeText(rows[r].flags)));
        list->setCheck(r, true);
    }
    page->resize(1140, 300);
    return page;
}

// Next on the drive page with the image selected, then on through the pages of a drive,
// one picture each; and the page of a mounted volume.
bool wizardPages(CKestrumApp& app, Physical_DriveDialog& drives, const QString& dir) {
    bool ok = true;
    auto press = [](QWidget* page, const char* id) {
        if (auto* b = page->findChild<QPushButton*>(QLatin1String(id)))
            b->click();
    };
    press(&drives, "1003");
    auto* modes = qobject_cast<DriveParsingModes*>(drives.successor());
    if (!modes)
        return false;
    ok &= save(modes, dir, "drive-parsing-modes.png");
    press(modes, "1229");
    auto* list = qobject_cast<PopulateDriveDlg*>(modes->successor());
    if (!list)
        return false;
    list->clickRow(0);
    ok &= save(list, dir, "partition-list.png");
    press(list, "1046");
    auto* mode = qobject_cast<ParceModeNtfsDlg*>(list->successor());
    if (!mode)
        return false;
    if (auto* advanced = mode->findChild<QRadioButton*>(QStringLiteral("1048")))
        advanced->click();
    ok &= save(mode, dir, "recovery-mode.png");

    // Standard scan of the chosen volume, one folder opened.
    if (auto* standard = mode->findChild<QRadioButton*>(QStringLiteral("1047")))
        standard->click();
    installWizardRoutes();
    press(mode, "1053");
    if (auto* results = qobject_cast<VolumeScanDlg*>(mode->successor())) {
        results->waitForWorker();
        for (int i = 0; i < 10; ++i)
            QCoreApplication::processEvents();
        CXHtmlTree& tree = results->resultTree();
        for (TreeItem item : tree.children(results->browser()->root()))
            if (tree.itemText(item) == "Documents") {
                results->browser()->fillChildren(item);
                results->labelClicked(item);
                if (auto* w = results->treeWidget()->widgetItem(item))
                    w->setExpanded(true);
            }
        results->treeWidget()->syncNow();
        ok &= save(results, dir, "scan-results.png");
    } else {
        ok = false;
    }

    // A mounted volume as the drive page lists one.
    VolumeInfo volume;
    volume.fsName = "NTFS";
    volume.volumeName = "/media/user/DATA";
    volume.volumeId = "/dev/sdb1";
    volume.sizeText = "476937  MB";
    auto* info = new VolumeOperations(app, &drives);
    info->setPreviousPageId(130);
    info->setVolume(volume, QStringLiteral("/media/user/DATA"));
    info->initPage();
    ok &= save(info, dir, "volume-information.png");
    delete info;
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    ScriptedDialogs dialogs;
    AppOptions options;
    options.lockName = "velmora-screenshots";
    options.dialogs = &dialogs;
    options.exitProcess = [](int) {};
    CKestrumApp app(std::move(options));
    QApplication qt(argc, argv);
    ensureIconTheme();
    QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
    QDir().mkpath(dir);
    bool ok = true;

    CSysInfoAboutDlg about(app);
    ok &= save(&about, dir, "about.png");

    if (argc > 2)
        app.setImageArguments({argv[2]});
    Physical_DriveDialog drives(app, nullptr);
    drives.initPage();
    ok &= save(&drives, dir, "drive-selection.png");

    // The Help menu, dropped down over the page.
    {
        auto* help = drives.findChild<QPushButton*>(QStringLiteral("1326"));
        QMenu* menu = help->menu();
        QPoint at = help->mapTo(&drives, QPoint(0, help->height()));
        menu->popup(help->mapToGlobal(QPoint(0, help->height())));
        QCoreApplication::processEvents();
        QPixmap page = drives.grab();
        QPixmap dropped = menu->grab();
        QPixmap canvas(page.width(), std::max(page.height(), at.y() + dropped.height()));
        canvas.fill(drives.palette().window().color());
        QPainter p(&canvas);
        p.drawPixmap(0, 0, page);
        p.drawPixmap(at.x(), std::min(at.y(), canvas.height() - dropped.height()), dropped);
        p.end();
        menu->hide();
        QString path = dir + QStringLiteral("/help-menu.png");
        bool saved = canvas.save(path);
        std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
        ok &= saved;
    }

    QWidget* demo = treeAndListDemo();
    ok &= save(demo, dir, "result-tree-and-list.png");
    delete demo;

    if (argc > 2)
        ok &= wizardPages(app, drives, dir);
    return ok ? 0 : 1;
}
