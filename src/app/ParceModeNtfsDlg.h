// The recovery mode page: how the chosen volume is scanned (Standard, Advanced or Deep).
#pragma once

#include "app/WizardPage.h"
#include "partition/VolumeInfo.h"

#include <cstdint>
#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velmora {

class ParceModeNtfsDlg : public WizardPage {
    Q_OBJECT
public:
    enum RecoveryMode { kStandard = 1, kAdvanced = 2, kDeep = 3 };

    // Builds the page that follows Next. The scan results page serves Standard and Deep,
    // the advance options page serves Advanced; both read selectedVolume(), recoveryMode()
    // and maxFileSystems() from the page they get. Until one is set, Next says that the
    // page is not available yet.
    using PageFactory = std::function<WizardPage*(ParceModeNtfsDlg& page)>;
    static void setScanResultsFactory(PageFactory factory);
    static void setAdvanceOptionsFactory(PageFactory factory);

    ParceModeNtfsDlg(CKestrumApp& app, QWidget* parent);

    // Copies the volume from the page that created it (volume information or partition list).
    bool initPage() override;

    const VolumeInfo& selectedVolume() const { return selectedVolume_; }
    int recoveryMode() const { return recoveryMode_; }
    // "Please Enter Max File Systems to Find :", read as a number.
    int64_t maxFileSystems() const;
    const std::string& fsPrefix() const { return fsPrefix_; }

    void onStandard();
    void onAdvanced();
    void onDeep();
    void onDriveFormatted();
    void onNext();

private:
    void showAdvancedOptions(bool visible);

    VolumeInfo selectedVolume_;
    std::string fsPrefix_;
    int recoveryMode_ = kStandard;

    QRadioButton* standard_;
    QRadioButton* advanced_;
    QRadioButton* deep_;
    QLabel* maxLabel_;
    QLineEdit* maxEdit_;
    QLabel* maxNote_;
    QCheckBox* formatted_;
    QPushButton* back_;
    QPushButton* next_;
};

} // namespace velmora
