#include "app/ParceModeNtfsDlg.h"

#include "app/PopulateDriveDlg.h"
#include "app/VolumeOperations.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace velmora {

namespace {

ParceModeNtfsDlg::PageFactory& scanResultsFactory() {
    static ParceModeNtfsDlg::PageFactory factory;
    return factory;
}

ParceModeNtfsDlg::PageFactory& advanceOptionsFactory() {
    static ParceModeNtfsDlg::PageFactory factory;
    return factory;
}

void keepPlaceWhenHidden(QWidget* w) {
    QSizePolicy p = w->sizePolicy();
    p.setRetainSizeWhenHidden(true);
    w->setSizePolicy(p);
}

} // namespace

void ParceModeNtfsDlg::setScanResultsFactory(PageFactory factory) { scanResultsFactory() = std::move(factory); }
void ParceModeNtfsDlg::setAdvanceOptionsFactory(PageFactory factory) { advanceOptionsFactory() = std::move(factory); }

ParceModeNtfsDlg::ParceModeNtfsDlg(CKestrumApp& app, QWidget* parent) : WizardPage(kRecoveryMode, app, parent) {
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Select Recovery Mode:"), this);
    auto* g = new QVBoxLayout(group);
    auto radio = [&](int id, const char* text) {
        auto* r = new QRadioButton(QLatin1String(text), group);
        r->setObjectName(QString::number(id));
        g->addWidget(r);
        return r;
    };
    standard_ = radio(1047, "Standard");
    advanced_ = radio(1048, "Advanced");
    deep_ = radio(1049, "Deep");
    g->addSpacing(8);

    auto* maxRow = new QHBoxLayout;
    maxLabel_ = new QLabel(QStringLiteral("Please Enter Max File Systems to Find :"), group);
    maxLabel_->setObjectName(QStringLiteral("1128"));
    maxEdit_ = new QLineEdit(group);
    maxEdit_->setObjectName(QStringLiteral("1129"));
    maxEdit_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,18}")), this));
    maxEdit_->setMaximumWidth(60);
    maxNote_ = new QLabel(QStringLiteral("( By  Default  it's  = 3 )"), group);
    maxNote_->setObjectName(QStringLiteral("1130"));
    maxRow->addWidget(maxLabel_);
    maxRow->addWidget(maxEdit_);
    maxRow->addWidget(maxNote_);
    maxRow->addStretch();
    g->addLayout(maxRow);
    formatted_ = new QCheckBox(QStringLiteral("Is Drive Formated..?"), group);
    formatted_->setObjectName(QStringLiteral("1255"));
    g->addWidget(formatted_);
    for (QWidget* w : {static_cast<QWidget*>(maxLabel_), static_cast<QWidget*>(maxEdit_),
                       static_cast<QWidget*>(maxNote_), static_cast<QWidget*>(formatted_)})
        keepPlaceWhenHidden(w);  // the page keeps its shape when Advanced shows them
    group->setMinimumWidth(420);
    layout->addWidget(group);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(helpButton());
    buttons->addStretch();
    back_ = makeImageButton(1051, QStringLiteral("Back"), QStyle::SP_ArrowBack);
    next_ = makeImageButton(1053, QStringLiteral("Next"), QStyle::SP_ArrowForward);
    buttons->addWidget(back_);
    buttons->addWidget(next_);
    buttons->addWidget(closeButton());
    layout->addLayout(buttons);

    connect(standard_, &QRadioButton::clicked, this, &ParceModeNtfsDlg::onStandard);
    connect(advanced_, &QRadioButton::clicked, this, &ParceModeNtfsDlg::onAdvanced);
    connect(deep_, &QRadioButton::clicked, this, &ParceModeNtfsDlg::onDeep);
    connect(formatted_, &QCheckBox::clicked, this, &ParceModeNtfsDlg::onDriveFormatted);
    connect(back_, &QPushButton::clicked, this, &ParceModeNtfsDlg::goBack);
    connect(next_, &QPushButton::clicked, this, &ParceModeNtfsDlg::onNext);
}

bool ParceModeNtfsDlg::initPage() {
    maxEdit_->setText(QStringLiteral("3"));
    showAdvancedOptions(false);
    formatted_->hide();
    onStandard();

    if (previousPageId() == kVolumeInformation) {
        if (auto* from = qobject_cast<VolumeOperations*>(parentWidget()))
            selectedVolume_ = *from->currentVolume();
    } else if (previousPageId() == kPartitionList) {
        if (auto* from = qobject_cast<PopulateDriveDlg*>(parentWidget()))
            selectedVolume_ = *from->currentVolume();
    }

    std::string name = selectedVolume_.fsName;
    size_t first = name.find_first_not_of(" \t\r\n");
    fsPrefix_ = first == std::string::npos ? std::string() : name.substr(first, 3);

    auto is = [&](const char* p) { return wizard::equalsIgnoreCase(fsPrefix_, p); };
    if (is("fat") || is("exF")) {
        deep_->hide();
    } else if (is("ext")) {
        deep_->hide();
        advanced_->hide();
    } else if (is("HFS")) {
        advanced_->hide();
    }
    return true;
}

void ParceModeNtfsDlg::showAdvancedOptions(bool visible) {
    maxLabel_->setVisible(visible);
    maxEdit_->setVisible(visible);
    maxNote_->setVisible(visible);
}

void ParceModeNtfsDlg::onStandard() {
    session().driveFormatted = false;
    formatted_->setChecked(false);
    formatted_->hide();
    showAdvancedOptions(false);
    standard_->setChecked(true);
    recoveryMode_ = kStandard;
}

void ParceModeNtfsDlg::onAdvanced() {
    session().driveFormatted = false;
    formatted_->setChecked(false);
    showAdvancedOptions(true);
    formatted_->setVisible(wizard::equalsIgnoreCase(fsPrefix_, "fat"));
    advanced_->setChecked(true);
    recoveryMode_ = kAdvanced;
}

void ParceModeNtfsDlg::onDeep() {
    session().driveFormatted = false;
    formatted_->setChecked(false);
    formatted_->hide();
    showAdvancedOptions(false);
    deep_->setChecked(true);
    recoveryMode_ = kDeep;
}

void ParceModeNtfsDlg::onDriveFormatted() { session().driveFormatted = formatted_->isChecked(); }

int64_t ParceModeNtfsDlg::maxFileSystems() const { return wizard::leadingNumber(maxEdit_->text()); }

void ParceModeNtfsDlg::onNext() {
    bool advanced = recoveryMode_ == kAdvanced;
    PageFactory& factory = advanced ? advanceOptionsFactory() : scanResultsFactory();
    WizardPage* page = factory ? factory(*this) : nullptr;
    if (page) {
        showSuccessor(page);
        return;
    }
    dialogs().showMessage(advanced ? "The advance options page is not available yet."
                                   : "The scan results page is not available yet.");
}

} // namespace velmora
