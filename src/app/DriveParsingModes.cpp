#include "app/DriveParsingModes.h"

#include "disk/readWriteInterface.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace velmora {

DriveParsingModes::DriveParsingModes(CKestrumApp& app, QWidget* parent) : WizardPage(kDriveParsingModes, app, parent) {
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Select Mode:"), this);
    auto* g = new QVBoxLayout(group);

    auto* driveRow = new QHBoxLayout;
    auto* driveLabel = new QLabel(QStringLiteral("Currently Selected Drive :"), group);
    driveLabel->setObjectName(QStringLiteral("1028"));
    driveValue_ = new QLabel(group);
    driveValue_->setObjectName(QStringLiteral("1263"));
    driveValue_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    driveRow->addWidget(driveLabel);
    driveRow->addWidget(driveValue_, 1);
    g->addLayout(driveRow);
    g->addSpacing(6);

    standard_ = new QRadioButton(QStringLiteral("Standard Scan"), group);
    standard_->setObjectName(QStringLiteral("1323"));
    g->addWidget(standard_);
    auto* gptRow = new QHBoxLayout;
    gptRow->addSpacing(24);
    gpt_ = new QCheckBox(QStringLiteral("GPT format"), group);
    gpt_->setObjectName(QStringLiteral("1253"));
    gptRow->addWidget(gpt_);
    gptRow->addSpacing(12);
    gptRow->addWidget(new QLabel(QStringLiteral("* Check If Partition type is GPT"), group));
    gptRow->addStretch();
    g->addLayout(gptRow);
    g->addSpacing(6);

    advance_ = new QRadioButton(QStringLiteral("Advance Scan"), group);
    advance_->setObjectName(QStringLiteral("1324"));
    // The sector search is not part of the program yet.
    advance_->setEnabled(false);
    advance_->setToolTip(QStringLiteral("The advance scan is not available yet."));
    g->addWidget(advance_);
    auto* advanceGroup = new QGroupBox(group);
    auto* a = new QGridLayout(advanceGroup);
    keepSize_ = new QCheckBox(QStringLiteral("Do not Skip Volume Size While Parsing in Advance  Scan "), advanceGroup);
    keepSize_->setObjectName(QStringLiteral("1144"));
    a->addWidget(keepSize_, 0, 0, 1, 4);
    custom_ = new QCheckBox(QStringLiteral("Custom Setting:"), advanceGroup);
    custom_->setObjectName(QStringLiteral("1153"));
    a->addWidget(custom_, 1, 0, 1, 4);
    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,19}")), this);
    startLabel_ = new QLabel(QStringLiteral("Starting Sector:"), advanceGroup);
    startLabel_->setObjectName(QStringLiteral("1155"));
    startEdit_ = new QLineEdit(advanceGroup);
    startEdit_->setObjectName(QStringLiteral("1157"));
    startEdit_->setValidator(digits);
    endLabel_ = new QLabel(QStringLiteral("Ending Sector:"), advanceGroup);
    endLabel_->setObjectName(QStringLiteral("1156"));
    endEdit_ = new QLineEdit(advanceGroup);
    endEdit_->setObjectName(QStringLiteral("1158"));
    endEdit_->setValidator(digits);
    a->addWidget(startLabel_, 2, 0);
    a->addWidget(startEdit_, 2, 1);
    a->addWidget(endLabel_, 2, 2);
    a->addWidget(endEdit_, 2, 3);
    a->setColumnMinimumWidth(0, 110);
    a->setColumnStretch(1, 1);
    a->setColumnStretch(3, 1);
    auto* advanceRow = new QHBoxLayout;
    advanceRow->addSpacing(24);
    advanceRow->addWidget(advanceGroup);
    g->addLayout(advanceRow);
    layout->addWidget(group);

    layout->addWidget(new QLabel(QStringLiteral("Choose any one of the mode and Click Next...."), this));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(helpButton());
    buttons->addStretch();
    back_ = makeImageButton(1051, QStringLiteral("Back"), QStyle::SP_ArrowBack);
    next_ = makeImageButton(1229, QStringLiteral("Next"), QStyle::SP_ArrowForward);
    buttons->addWidget(back_);
    buttons->addWidget(next_);
    buttons->addWidget(closeButton());
    layout->addLayout(buttons);

    connect(standard_, &QRadioButton::clicked, this, &DriveParsingModes::onStandardScan);
    connect(advance_, &QRadioButton::clicked, this, &DriveParsingModes::onAdvanceScan);
    connect(custom_, &QCheckBox::clicked, this, &DriveParsingModes::onCustomSetting);
    connect(back_, &QPushButton::clicked, this, &DriveParsingModes::goBack);
    connect(next_, &QPushButton::clicked, this, &DriveParsingModes::onNext);
}

void DriveParsingModes::setDrive(const std::string& devicePath, const std::string& text) {
    devicePath_ = devicePath;
    driveText_ = text;
}

bool DriveParsingModes::initPage() {
    for (QWidget* w : {static_cast<QWidget*>(startLabel_), static_cast<QWidget*>(endLabel_),
                       static_cast<QWidget*>(startEdit_), static_cast<QWidget*>(endEdit_)})
        w->setEnabled(false);
    if (!session().reader)
        session().reader = std::make_unique<FileReadSeek>(&dialogs());
    // The reader's own message says when the drive cannot be opened; the scan says it again.
    if (session().reader->open(devicePath_))
        session().totalSectors = session().reader->totalSectors();
    driveValue_->setText(QString::fromStdString(devicePath_));
    if (!driveText_.empty() && driveText_ != devicePath_)
        driveValue_->setToolTip(QString::fromStdString(driveText_));
    startEdit_->setText(QStringLiteral("0"));
    endEdit_->setText(QStringLiteral("0"));
    onStandardScan();
    return true;
}

void DriveParsingModes::onStandardScan() {
    standard_->setChecked(true);
    advance_->setChecked(false);
    keepSize_->setEnabled(false);
    custom_->setEnabled(false);
    if (custom_->isChecked()) {
        custom_->setChecked(false);
        onCustomSetting();
    }
}

void DriveParsingModes::onAdvanceScan() {
    standard_->setChecked(false);
    advance_->setChecked(true);
    keepSize_->setEnabled(true);
    custom_->setEnabled(true);
}

void DriveParsingModes::onCustomSetting() {
    bool on = custom_->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(startLabel_), static_cast<QWidget*>(endLabel_),
                       static_cast<QWidget*>(startEdit_), static_cast<QWidget*>(endEdit_)})
        w->setEnabled(on);
}

DriveScanChoice DriveParsingModes::choice() const {
    DriveScanChoice c;
    c.devicePath = devicePath_;
    c.keepVolumeSize = keepSize_->isChecked();
    c.scanMode = standard_->isChecked() ? 1 : 2;
    c.gptFormat = gpt_->isChecked();
    if (custom_->isChecked()) {
        int64_t start = wizard::leadingNumber(startEdit_->text());
        int64_t end = wizard::leadingNumber(endEdit_->text());
        if (end >= 0) {
            c.customStartSector = start;
            c.customEndSector = end;
        }
    }
    return c;
}

void DriveParsingModes::onNext() {
    auto* page = new PopulateDriveDlg(app(), this);
    page->setChoice(choice());
    if (!showSuccessor(page))
        dialogs().showMessage("error creating PopulateDriveDlgptr");
}

} // namespace velmora
