// The partition list page: scans the chosen drive for volumes and lets the user pick one,
// optionally correcting its start, end and file system.
#pragma once

#include "app/WizardPage.h"
#include "host/Host.h"
#include "partition/VolumeInfo.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QToolButton;

namespace velmora {

class Partition;

namespace wizard {
// The number a text starts with (blanks, an optional sign, digits), 0 when it has none.
int64_t leadingNumber(const std::string& text);
int64_t leadingNumber(const QString& text);
std::string trimmed(const std::string& text);
bool equalsIgnoreCase(const std::string& a, const std::string& b);
} // namespace wizard

// What the drive parsing modes page hands on to the partition list page.
struct DriveScanChoice {
    std::string devicePath;
    bool gptFormat = false;
    bool keepVolumeSize = false;
    int32_t scanMode = 1;  // 1 standard (partition tables), 2 advance (sector search)
    int64_t customStartSector = 0;
    int64_t customEndSector = 0;
};

// A pair of arrows beside a number edit. Like the classic control it reports the change
// as −1 for the up arrow and +1 for the down arrow.
class UpDownControl : public QWidget {
    Q_OBJECT
public:
    explicit UpDownControl(QWidget* parent = nullptr);
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }
signals:
    void deltaPos(int delta);

private:
    QToolButton* up_;
    QToolButton* down_;
};

class PopulateDriveDlg : public WizardPage {
    Q_OBJECT
public:
    // Columns of the volume list.
    enum Column { kVolumeColumn, kFileSystemColumn, kSizeColumn, kStartColumn };

    // Builds the raw recovery page for Next with "RAW"; null until that page exists.
    using PageFactory = std::function<WizardPage*(PopulateDriveDlg& page)>;
    static void setRawRecoveryFactory(PageFactory factory);

    PopulateDriveDlg(CKestrumApp& app, QWidget* parent);
    ~PopulateDriveDlg() override;

    void setChoice(DriveScanChoice choice) { choice_ = std::move(choice); }
    const DriveScanChoice& choice() const { return choice_; }

    bool initPage() override;

    // The partition tables of the drive, on the GUI thread.
    void standardScan();

    // Volumes found, and the record of the selected row (null without a selection).
    const std::vector<VolumeInfo>& volumes() const { return volumes_; }
    const VolumeInfo* currentVolume() const;
    int selectedRow() const;
    // Selects a row as a click would (selection and "Treat file system as:").
    void clickRow(int row);

    void onNext();
    void onAddCustomVolume();
    void onFilterEntries();
    void onStop();

private:
    class StatusLine;

    void applyCustomSettings(bool enabled);
    void onSelectionChanged();
    void onRowClicked(int row);
    void stepEdit(QLineEdit* edit, int delta);
    void insertRow(int at, size_t record);
    size_t recordOfRow(int row) const;
    std::string cellText(int row, int column) const;

    DriveScanChoice choice_;
    std::vector<VolumeInfo> volumes_;
    std::unique_ptr<Partition> scanner_;
    std::unique_ptr<StatusLine> statusLine_;
    bool customApplied_ = false;
    VolumeInfo current_;  // the record handed to the next page

    QTableWidget* list_;
    QPushButton* filter_;
    QPushButton* addCustom_;
    QCheckBox* customBox_;
    QLabel* selectedValue_;
    QLineEdit* startEdit_;
    QLineEdit* endEdit_;
    UpDownControl* startUpDown_;
    UpDownControl* endUpDown_;
    QComboBox* treatAs_;
    QList<QWidget*> customControls_;
    QProgressBar* progress_;
    QLabel* status_;
    QLabel* gptHint_;
    QPushButton* stop_;
    QPushButton* back_;
    QPushButton* next_;
};

} // namespace velmora
