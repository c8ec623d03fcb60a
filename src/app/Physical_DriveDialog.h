// The first page: the drives and volumes to recover from.
#pragma once

#include "app/WizardPage.h"

namespace velmora {

class CXHtmlTreeWidget;

class Physical_DriveDialog : public WizardPage {
    Q_OBJECT
public:
    Physical_DriveDialog(CKestrumApp& app, QWidget* parent);

    bool initPage() override;

    CXHtmlTreeWidget* driveTree() const { return tree_; }
    uint64_t volumesItem() const { return volumes_; }
    uint64_t drivesItem() const { return drives_; }

private:
    CXHtmlTreeWidget* tree_;
    uint64_t volumes_ = 0;
    uint64_t drives_ = 0;
};

} // namespace velmora
