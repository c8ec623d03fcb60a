// The drive parsing modes page: how the chosen drive is searched for volumes.
#pragma once

#include "app/PopulateDriveDlg.h"
#include "app/WizardPage.h"

#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velmora {

class DriveParsingModes : public WizardPage {
    Q_OBJECT
public:
    DriveParsingModes(CKestrumApp& app, QWidget* parent);

    // The drive chosen on the drive selection page: its device path and its text there.
    void setDrive(const std::string& devicePath, const std::string& text);
    const std::string& devicePath() const { return devicePath_; }

    bool initPage() override;

    // The choices as Next hands them on.
    DriveScanChoice choice() const;

    void onStandardScan();
    void onAdvanceScan();
    void onCustomSetting();
    void onNext();

private:
    std::string devicePath_;
    std::string driveText_;

    QLabel* driveValue_;
    QRadioButton* standard_;
    QCheckBox* gpt_;
    QRadioButton* advance_;
    QCheckBox* keepSize_;
    QCheckBox* custom_;
    QLabel* startLabel_;
    QLabel* endLabel_;
    QLineEdit* startEdit_;
    QLineEdit* endEdit_;
    QPushButton* back_;
    QPushButton* next_;
};

} // namespace velmora
