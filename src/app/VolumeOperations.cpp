#include "app/VolumeOperations.h"

#include "app/ParceModeNtfsDlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

VolumeOperations::VolumeOperations(CKestrumApp& app, QWidget* parent) : WizardPage(kVolumeInformation, app, parent) {
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Volume Information:"), this);
    auto* grid = new QGridLayout(group);
    auto row = [&](int r, int captionId, const char* caption, int valueId) {
        auto* c = new QLabel(QLatin1String(caption), group);
        c->setObjectName(QString::number(captionId));
        auto* v = new QLabel(group);
        v->setObjectName(QString::number(valueId));
        v->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(c, r, 0);
        grid->addWidget(v, r, 1);
        return v;
    };
    name_ = row(0, 1043, "Volume Name:", 1039);
    fileSystem_ = row(1, 1044, "Volume File System:", 1041);
    size_ = row(2, 1045, "Volume Size:", 1042);
    grid->setColumnMinimumWidth(0, 140);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(3, 1);
    group->setMinimumSize(420, 150);
    layout->addWidget(group);

    hiddenText_ = new QLabel(this);
    hiddenText_->setObjectName(QStringLiteral("1097"));
    hiddenText_->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(helpButton());
    buttons->addStretch();
    back_ = makeImageButton(1037, QStringLiteral("Back"), QStyle::SP_ArrowBack);
    next_ = makeImageButton(1046, QStringLiteral("Next"), QStyle::SP_ArrowForward);
    buttons->addWidget(back_);
    buttons->addWidget(next_);
    buttons->addWidget(closeButton());
    layout->addLayout(buttons);

    connect(back_, &QPushButton::clicked, this, &VolumeOperations::goBack);
    connect(next_, &QPushButton::clicked, this, &VolumeOperations::onNext);
}

void VolumeOperations::setVolume(const VolumeInfo& volume, const QString& itemText) {
    volume_ = volume;
    itemText_ = itemText;
}

bool VolumeOperations::initPage() {
    if (previousPageId() == kDriveSelection)
        hiddenText_->setText(itemText_);
    name_->setText(QString::fromStdString(volume_.volumeName));
    fileSystem_->setText(QString::fromStdString(volume_.fsName));
    size_->setText(QString::fromStdString(volume_.sizeText));
    next_->setEnabled(true);
    return true;
}

void VolumeOperations::onNext() { showSuccessor(new ParceModeNtfsDlg(app(), this)); }

} // namespace velmora
