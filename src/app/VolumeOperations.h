// The volume information page: name, file system and size of the chosen mounted volume.
#pragma once

#include "app/WizardPage.h"
#include "partition/VolumeInfo.h"

class QLabel;
class QPushButton;

namespace velmora {

class VolumeOperations : public WizardPage {
    Q_OBJECT
public:
    VolumeOperations(CKestrumApp& app, QWidget* parent);

    // The volume chosen on the drive selection page and the text of its tree item.
    void setVolume(const VolumeInfo& volume, const QString& itemText);

    bool initPage() override;

    const VolumeInfo* currentVolume() const { return &volume_; }

    void onNext();

private:
    VolumeInfo volume_;
    QString itemText_;
    QLabel* name_;
    QLabel* fileSystem_;
    QLabel* size_;
    QLabel* hiddenText_;
    QPushButton* back_;
    QPushButton* next_;
};

} // namespace velmora
