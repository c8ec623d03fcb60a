#include "app/Physical_DriveDialog.h"

#include "app/AppResources.h"
#include "app/DriveParsingModes.h"
#include "app/VolumeOperations.h"
#include "disk/readWriteInterface.h"
#include "ui/CXHtmlTreeWidget.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace velmora {

namespace {

constexpr const char* kVolumesRoot = "     VOLUMES:";
constexpr const char* kDrivesRoot = "     PHYSICAL DRIVES:";

std::string trimLeft(const std::string& s) {
    size_t i = s.find_first_not_of(" \t\r\n");
    return i == std::string::npos ? std::string() : s.substr(i);
}

std::string unreadableTip(const std::string& reason) {
    return "Cannot be read: " + (reason.empty() ? std::string("it could not be opened") : reason) + ".";
}

} // namespace

Physical_DriveDialog::Physical_DriveDialog(CKestrumApp& app, QWidget* parent)
    : WizardPage(kDriveSelection, app, parent) {
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Currently system contains:"), this);
    auto* groupLayout = new QVBoxLayout(group);
    tree_ = new CXHtmlTreeWidget(group);
    tree_->setObjectName(QStringLiteral("1022"));
    tree_->setMinimumSize(460, 280);
    // Drive and volume entries have no check boxes.
    tree_->setCheckBoxesVisible(false);
    tree_->setImageIcon(0, style()->standardIcon(QStyle::SP_DriveHDIcon));
    groupLayout->addWidget(tree_);
    layout->addWidget(group);

    auto* hint = new QLabel(QStringLiteral("Select volume or drive to continue the recovery process "), this);
    layout->addWidget(hint);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(helpButton());
    addImage_ = makeImageButton(0, QStringLiteral("Add Disk Image..."), QStyle::SP_DialogOpenButton);
    addImage_->setObjectName(QStringLiteral("addDiskImage"));
    addImage_->setToolTip(QStringLiteral("Add a disk image file to the physical drives."));
    buttons->addWidget(addImage_);
    buttons->addStretch();
    next_ = makeImageButton(1003, QStringLiteral("Next"), QStyle::SP_ArrowForward);
    buttons->addWidget(next_);
    buttons->addWidget(closeButton());
    layout->addLayout(buttons);

    connect(next_, &QPushButton::clicked, this, &Physical_DriveDialog::onNext);
    connect(addImage_, &QPushButton::clicked, this, &Physical_DriveDialog::onAddDiskImage);
}

Physical_DriveDialog::~Physical_DriveDialog() {
    // The reader of the whole wizard ends with its first page.
    session().reader.reset();
}

bool Physical_DriveDialog::initPage() {
    setWindowIcon(applicationIcon());
    CXHtmlTree& t = tree_->tree();
    t.clear();
    driveList_.clear();
    volumeList_.clear();
    driveItems_.clear();
    volumeItems_.clear();
    volumes_ = t.insertItem(kVolumesRoot, 0, 0);
    drives_ = t.insertItem(kDrivesRoot, 0, 0);

    std::vector<PhysicalDrive> disks = sources_.drives ? sources_.drives() : listPhysicalDrives();
    for (const PhysicalDrive& d : disks)
        appendDrive({d.devicePath, d.displayName(), d.readable, d.reason, false});

    std::vector<MountedVolume> mounted = sources_.volumes ? sources_.volumes() : listMountedVolumes();
    for (const MountedVolume& m : mounted) {
        VolumeEntry e;
        e.info.fsName = m.fsName;
        e.info.volumeName = m.mountPoint;
        e.info.volumeId = m.devicePath;
        e.info.sizeText = m.sizeText();
        e.info.startSector = 0;
        e.readable = m.readable;
        e.reason = m.reason;
        volumeList_.push_back(std::move(e));
    }
    // Added from the last to the first, as the volume branch has always been ordered.
    volumeItems_.assign(volumeList_.size(), 0);
    for (size_t i = volumeList_.size(); i-- > 0;) {
        TreeItem item = t.insertItem(volumeList_[i].info.volumeName, 0, 0, volumes_);
        t.setItemData(item, i);
        volumeItems_[i] = item;
    }

    t.expandItem(volumes_);
    t.expandItem(drives_);
    tree_->syncNow();
    for (size_t i = 0; i < volumeList_.size(); ++i) {
        const VolumeEntry& v = volumeList_[i];
        if (!v.readable) {
            markUnreadable(volumeItems_[i], v.reason);
        } else if (QTreeWidgetItem* w = tree_->widgetItem(volumeItems_[i])) {
            w->setToolTip(0, QString::fromStdString(v.info.volumeId + "   " + v.info.fsName + "   " + v.info.sizeText));
        }
    }
    for (size_t i = 0; i < driveList_.size(); ++i)
        if (!driveList_[i].readable)
            markUnreadable(driveItems_[i], driveList_[i].reason);

    // Images named on the command line are offered at once, the first one selected.
    size_t first = SIZE_MAX;
    for (const std::string& image : app().imageArguments()) {
        size_t index = addDiskImage(image);
        if (first == SIZE_MAX)
            first = index;
    }
    if (first != SIZE_MAX && driveList_[first].readable)
        selectItem(driveItems_[first]);
    return true;
}

uint64_t Physical_DriveDialog::appendDrive(DriveEntry entry) {
    TreeItem item = tree_->tree().insertItem(entry.text, 0, 0, drives_);
    tree_->tree().setItemData(item, driveList_.size());
    driveList_.push_back(std::move(entry));
    driveItems_.push_back(item);
    return item;
}

void Physical_DriveDialog::markUnreadable(uint64_t item, const std::string& reason) {
    QTreeWidgetItem* w = tree_->widgetItem(item);
    if (!w)
        return;
    w->setDisabled(true);
    w->setToolTip(0, QString::fromStdString(unreadableTip(reason)));
}

size_t Physical_DriveDialog::addDiskImage(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p(path);
    std::filesystem::path absolute = std::filesystem::absolute(p, ec);
    std::string device = ec ? path : absolute.lexically_normal().string();
    // Opened read-only just to learn whether it can be read; closed again at once.
    auto probe = [&device](DriveEntry& e) {
        std::error_code dirError;
        FileReadSeek reader;
        e.reason.clear();
        if (std::filesystem::is_directory(device, dirError)) {
            e.readable = false;  // opens fine, but holds no sectors
            e.reason = "it is a folder, not a disk image";
        } else {
            e.readable = reader.open(device);
            if (!e.readable)
                e.reason = reader.lastError == EACCES || reader.lastError == EPERM
                               ? "needs administrator rights (permission denied)"
                               : std::strerror(reader.lastError);
        }
    };
    for (size_t i = 0; i < driveList_.size(); ++i) {
        if (driveList_[i].devicePath == device) {
            // Added again: the file may have appeared, gone or changed rights since.
            if (driveList_[i].image) {
                probe(driveList_[i]);
                if (QTreeWidgetItem* w = tree_->widgetItem(driveItems_[i])) {
                    w->setDisabled(!driveList_[i].readable);
                    w->setToolTip(0, QString::fromStdString(driveList_[i].readable ? device
                                                                                  : unreadableTip(driveList_[i].reason)));
                }
            }
            if (driveList_[i].readable)
                selectItem(driveItems_[i]);
            return i;
        }
    }
    DriveEntry e;
    e.devicePath = device;
    e.text = p.filename().string().empty() ? device : p.filename().string();
    e.image = true;
    probe(e);
    size_t index = driveList_.size();
    uint64_t item = appendDrive(std::move(e));
    tree_->tree().expandItem(drives_);
    tree_->syncNow();
    if (QTreeWidgetItem* w = tree_->widgetItem(item))
        w->setToolTip(0, QString::fromStdString(device));
    if (driveList_[index].readable)
        selectItem(item);
    else
        markUnreadable(item, driveList_[index].reason);
    return index;
}

void Physical_DriveDialog::onAddDiskImage() {
    auto chosen = dialogs().chooseOpenFile("Add Disk Image",
                                          "Disk images|*.img;*.dd;*.raw;*.bin;*.iso;*.hfs|All files|*");
    if (!chosen)
        return;
    size_t index = addDiskImage(chosen->string());
    if (!driveList_[index].readable)
        dialogs().showMessage(chosen->string() + ": " + unreadableTip(driveList_[index].reason));
}

uint64_t Physical_DriveDialog::driveItem(size_t index) const {
    return index < driveItems_.size() ? driveItems_[index] : 0;
}

uint64_t Physical_DriveDialog::volumeItem(size_t index) const {
    return index < volumeItems_.size() ? volumeItems_[index] : 0;
}

void Physical_DriveDialog::selectItem(uint64_t item) {
    tree_->syncNow();
    if (QTreeWidgetItem* w = tree_->widgetItem(item)) {
        tree_->setCurrentItem(w);
        w->setSelected(true);
        tree_->scrollToItem(w);
    } else {
        tree_->clearSelection();
    }
}

uint64_t Physical_DriveDialog::selectedTreeItem() const {
    QList<QTreeWidgetItem*> selected = tree_->selectedItems();
    if (selected.isEmpty())
        return 0;
    return tree_->treeItem(selected.front());
}

const DriveEntry* Physical_DriveDialog::selectedDrive() const {
    TreeItem item = selectedTreeItem();
    const CXHtmlTree& t = tree_->tree();
    if (!item || t.parentItem(item) != drives_)
        return nullptr;
    uint64_t index = t.itemData(item);
    return index < driveList_.size() ? &driveList_[index] : nullptr;
}

const VolumeInfo* Physical_DriveDialog::selectedVolume() const {
    TreeItem item = selectedTreeItem();
    const CXHtmlTree& t = tree_->tree();
    if (!item || t.parentItem(item) != volumes_)
        return nullptr;
    uint64_t index = t.itemData(item);
    return index < volumeList_.size() ? &volumeList_[index].info : nullptr;
}

void Physical_DriveDialog::onNext() {
    TreeItem item = selectedTreeItem();
    CXHtmlTree& t = tree_->tree();
    std::string parentText;
    if (item && t.exists(item) && t.parentItem(item) != kTreeRoot)
        parentText = trimLeft(t.itemText(t.parentItem(item)));

    // Whatever was chosen, the next path starts with a fresh reader.
    session().reader = std::make_unique<FileReadSeek>(&dialogs());
    session().previousPageId = kDriveSelection;

    if (parentText == "VOLUMES:") {
        const VolumeInfo* volume = selectedVolume();
        if (volume) {
            session().isVolume = true;
            auto* page = new VolumeOperations(app(), this);
            page->setVolume(*volume, QString::fromStdString(t.itemText(item)));
            showSuccessor(page);
            return;
        }
    } else if (parentText == "PHYSICAL DRIVES:") {
        const DriveEntry* drive = selectedDrive();
        if (drive) {
            session().isVolume = false;
            auto* page = new DriveParsingModes(app(), this);
            page->setDrive(drive->devicePath, drive->text);
            showSuccessor(page);
            return;
        }
    }
    dialogs().showMessage("Please select a volume or a drive..", UserDialogs::Icon::Information);
}

} // namespace velmora
