// The first page: the drives and volumes to recover from.
#pragma once

#include "app/WizardPage.h"
#include "partition/VolumeInfo.h"
#include "platform/Drives.h"

#include <functional>
#include <string>
#include <vector>

class QPushButton;

namespace velmora {

class CXHtmlTreeWidget;

// One entry under "     PHYSICAL DRIVES:": a whole disk or a disk image file.
struct DriveEntry {
    std::string devicePath;  // /dev/sdX, or the image's path
    std::string text;        // what the tree shows: model, device path or image file name
    bool readable = true;
    std::string reason;      // why it cannot be read, when not readable
    bool image = false;
};

// One entry under "     VOLUMES:".
struct VolumeEntry {
    VolumeInfo info;
    bool readable = true;
    std::string reason;
};

class Physical_DriveDialog : public WizardPage {
    Q_OBJECT
public:
    // Where the drive and volume lists come from; the machine's own when left empty.
    struct Sources {
        std::function<std::vector<PhysicalDrive>()> drives;
        std::function<std::vector<MountedVolume>()> volumes;
    };

    Physical_DriveDialog(CKestrumApp& app, QWidget* parent);
    ~Physical_DriveDialog() override;

    void setSources(Sources sources) { sources_ = std::move(sources); }

    bool initPage() override;

    // Adds a disk image under the drives and selects it. An image already listed is only
    // selected. Returns its index in drives().
    size_t addDiskImage(const std::string& path);

    CXHtmlTreeWidget* driveTree() const { return tree_; }
    uint64_t volumesItem() const { return volumes_; }
    uint64_t drivesItem() const { return drives_; }
    const std::vector<DriveEntry>& drives() const { return driveList_; }
    const std::vector<VolumeEntry>& volumes() const { return volumeList_; }

    // The tree item of a drive or volume entry (by index), 0 when there is none.
    uint64_t driveItem(size_t index) const;
    uint64_t volumeItem(size_t index) const;
    // Selects a tree item as a click would.
    void selectItem(uint64_t item);
    // The entry the selection stands for, null when a root item or nothing is selected.
    const DriveEntry* selectedDrive() const;
    const VolumeInfo* selectedVolume() const;

    void onNext();
    void onAddDiskImage();

private:
    uint64_t selectedTreeItem() const;
    uint64_t appendDrive(DriveEntry entry);
    void markUnreadable(uint64_t item, const std::string& reason);

    CXHtmlTreeWidget* tree_;
    QPushButton* next_;
    QPushButton* addImage_;
    uint64_t volumes_ = 0;
    uint64_t drives_ = 0;
    Sources sources_;
    std::vector<DriveEntry> driveList_;
    std::vector<VolumeEntry> volumeList_;
    std::vector<uint64_t> driveItems_;   // by index of driveList_
    std::vector<uint64_t> volumeItems_;  // by index of volumeList_
};

} // namespace velmora
