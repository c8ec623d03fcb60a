#include "app/Physical_DriveDialog.h"

#include "app/AppResources.h"
#include "ui/CXHtmlTreeWidget.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

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
    buttons->addStretch();
    buttons->addWidget(makeImageButton(1003, QStringLiteral("Next"), QStyle::SP_ArrowForward));
    buttons->addWidget(closeButton());
    layout->addLayout(buttons);
}

bool Physical_DriveDialog::initPage() {
    setWindowIcon(applicationIcon());
    CXHtmlTree& t = tree_->tree();
    t.clear();
    volumes_ = t.insertItem("     VOLUMES:", 0, 0);
    drives_ = t.insertItem("     PHYSICAL DRIVES:", 0, 0);
    tree_->syncNow();
    return true;
}

} // namespace velmora
