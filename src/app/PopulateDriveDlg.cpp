#include "app/PopulateDriveDlg.h"

#include "app/ParceModeNtfsDlg.h"
#include "disk/readWriteInterface.h"
#include "partition/Partition.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <limits>

namespace velmora {

namespace wizard {

int64_t leadingNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulated as a negative number so that the most negative value still fits; digits
    // beyond the range saturate.
    int64_t value = 0;
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        int digit = text[i] - '0';
        if (value < (kMin + digit) / 10) {
            value = kMin;
            continue;
        }
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    return value == kMin ? std::numeric_limits<int64_t>::max() : -value;
}

int64_t leadingNumber(const QString& text) { return leadingNumber(text.toStdString()); }

std::string trimmed(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1])))
        --e;
    return text.substr(b, e - b);
}

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace wizard

using wizard::equalsIgnoreCase;
using wizard::leadingNumber;

namespace {

PopulateDriveDlg::PageFactory& rawRecoveryFactory() {
    static PopulateDriveDlg::PageFactory factory;
    return factory;
}

QString q(const std::string& s) { return QString::fromStdString(s); }

} // namespace

// The page's progress bar and status line as the scanners see them; callable from a
// worker, which then waits for the GUI thread as a synchronous message would.
class PopulateDriveDlg::StatusLine final : public ProgressSink {
public:
    StatusLine(QProgressBar* bar, QLabel* label) : bar_(bar), label_(label) {}
    void setRange(int64_t low, int64_t high) override {
        onGui([=, this] { bar_->setRange(int(low), int(high)); });
    }
    void setPosition(int64_t position) override {
        onGui([=, this] { bar_->setValue(int(position)); });
    }
    void setStatus(const std::string& text) override {
        QString t = q(text);
        onGui([=, this] { label_->setText(t); });
    }

private:
    template <typename F>
    void onGui(F f) {
        if (QThread::currentThread() == label_->thread())
            f();
        else
            QMetaObject::invokeMethod(label_, f, Qt::BlockingQueuedConnection);
    }
    QProgressBar* bar_;
    QLabel* label_;
};

UpDownControl::UpDownControl(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    up_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_ = new QToolButton(this);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFixedSize(18, 12);
        layout->addWidget(b);
    }
    connect(up_, &QToolButton::clicked, this, [this] { emit deltaPos(-1); });
    connect(down_, &QToolButton::clicked, this, [this] { emit deltaPos(1); });
}

void PopulateDriveDlg::setRawRecoveryFactory(PageFactory factory) { rawRecoveryFactory() = std::move(factory); }

PopulateDriveDlg::PopulateDriveDlg(CKestrumApp& app, QWidget* parent) : WizardPage(kPartitionList, app, parent) {
    auto* layout = new QVBoxLayout(this);

    auto* listGroup = new QGroupBox(QStringLiteral("Volume List:"), this);
    auto* listLayout = new QVBoxLayout(listGroup);
    list_ = new QTableWidget(0, 4, listGroup);
    list_->setObjectName(QStringLiteral("1031"));
    list_->setHorizontalHeaderLabels({QStringLiteral("VOLUME"), QStringLiteral("FILE_SYSTEM"),
                                      QStringLiteral("VOLUME_SIZE"), QStringLiteral("START_SECTOR")});
    const int widths[] = {80, 80, 80, 100};
    for (int c = 0; c < 4; ++c)
        list_->setColumnWidth(c, widths[c]);
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->verticalHeader()->hide();
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setShowGrid(true);
    list_->setMinimumSize(420, 180);
    listLayout->addWidget(list_);
    auto* listButtons = new QHBoxLayout;
    filter_ = makeImageButton(1229, QStringLiteral("Filter Entries"), QStyle::SP_FileDialogContentsView);
    filter_->setToolTip(QStringLiteral("Filter volume entries."));
    addCustom_ = makeImageButton(1160, QStringLiteral("Add Custom Volume"), QStyle::SP_FileDialogNewFolder);
    addCustom_->setToolTip(QStringLiteral("Add Custom Volume entry."));
    listButtons->addWidget(filter_);
    listButtons->addWidget(addCustom_);
    listButtons->addStretch();
    listLayout->addLayout(listButtons);
    layout->addWidget(listGroup);

    auto* customGroup = new QGroupBox(this);
    auto* grid = new QGridLayout(customGroup);
    customBox_ = new QCheckBox(QStringLiteral("Custom Settings For Selected Volume "), customGroup);
    customBox_->setObjectName(QStringLiteral("1131"));
    grid->addWidget(customBox_, 0, 0, 1, 6);
    auto label = [&](int id, const char* text) {
        auto* l = new QLabel(QLatin1String(text), customGroup);
        l->setObjectName(QString::number(id));
        customControls_ << l;
        return l;
    };
    grid->addWidget(label(1142, "Selected Volume :"), 1, 0);
    selectedValue_ = new QLabel(customGroup);
    selectedValue_->setObjectName(QStringLiteral("1143"));
    selectedValue_->setMinimumWidth(80);
    customControls_ << selectedValue_;
    grid->addWidget(selectedValue_, 1, 1, 1, 2);

    auto numberEdit = [&](int id) {
        auto* e = new QLineEdit(customGroup);
        e->setObjectName(QString::number(id));
        e->setMinimumWidth(120);
        customControls_ << e;
        return e;
    };
    auto upDown = [&](int id) {
        auto* u = new UpDownControl(customGroup);
        u->setObjectName(QString::number(id));
        customControls_ << u;
        return u;
    };
    grid->addWidget(label(1147, "Start Sector:"), 2, 0);
    startEdit_ = numberEdit(1146);
    grid->addWidget(startEdit_, 2, 1);
    startUpDown_ = upDown(1145);
    grid->addWidget(startUpDown_, 2, 2);
    grid->addWidget(label(1148, "End Sector :"), 2, 3);
    endEdit_ = numberEdit(1149);
    grid->addWidget(endEdit_, 2, 4);
    endUpDown_ = upDown(1151);
    grid->addWidget(endUpDown_, 2, 5);
    grid->addWidget(label(1134, "Treat file system as:"), 3, 0);
    treatAs_ = new QComboBox(customGroup);
    treatAs_->setObjectName(QStringLiteral("1152"));
    customControls_ << treatAs_;
    grid->addWidget(treatAs_, 3, 1);
    grid->setColumnStretch(6, 1);
    layout->addWidget(customGroup);

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("1254"));
    progress_->setTextVisible(false);
    layout->addWidget(progress_);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("1316"));
    layout->addWidget(status_);
    gptHint_ = new QLabel(this);
    gptHint_->setObjectName(QStringLiteral("gptHint"));
    gptHint_->setWordWrap(true);
    gptHint_->hide();
    layout->addWidget(gptHint_);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(helpButton());
    buttons->addStretch();
    stop_ = makeImageButton(1034, QStringLiteral("Stop"), QStyle::SP_MediaStop);
    back_ = makeImageButton(1036, QStringLiteral("Back"), QStyle::SP_ArrowBack);
    next_ = makeImageButton(1046, QStringLiteral("Next"), QStyle::SP_ArrowForward);
    buttons->addWidget(stop_);
    buttons->addWidget(back_);
    buttons->addWidget(next_);
    buttons->addWidget(closeButton());
    layout->addLayout(buttons);

    statusLine_ = std::make_unique<StatusLine>(progress_, status_);

    connect(next_, &QPushButton::clicked, this, &PopulateDriveDlg::onNext);
    connect(back_, &QPushButton::clicked, this, &PopulateDriveDlg::goBack);
    connect(stop_, &QPushButton::clicked, this, &PopulateDriveDlg::onStop);
    connect(filter_, &QPushButton::clicked, this, &PopulateDriveDlg::onFilterEntries);
    connect(addCustom_, &QPushButton::clicked, this, &PopulateDriveDlg::onAddCustomVolume);
    connect(customBox_, &QCheckBox::toggled, this, &PopulateDriveDlg::applyCustomSettings);
    connect(list_, &QTableWidget::itemSelectionChanged, this, &PopulateDriveDlg::onSelectionChanged);
    connect(list_, &QTableWidget::cellClicked, this, [this](int row, int) { onRowClicked(row); });
    connect(startUpDown_, &UpDownControl::deltaPos, this, [this](int d) { stepEdit(startEdit_, d); });
    connect(endUpDown_, &UpDownControl::deltaPos, this, [this](int d) { stepEdit(endEdit_, d); });
}

PopulateDriveDlg::~PopulateDriveDlg() = default;

bool PopulateDriveDlg::initPage() {
    addCustom_->setEnabled(false);
    customBox_->setEnabled(false);
    applyCustomSettings(false);

    for (const char* fs : {"EXTX", "FAT64", "FAT32", "FAT16", "NTFS", "HFS+", "RAW"})
        treatAs_->addItem(QLatin1String(fs));
    treatAs_->model()->sort(0);  // shown sorted, as the list has always been
    treatAs_->setCurrentIndex(-1);

    if (session().previousPageId == kDriveSelection)
        session().reader = std::make_unique<FileReadSeek>(&dialogs());

    if (choice_.scanMode == 1) {
        statusLine_->setRange(0, 1000);
        standardScan();
        statusLine_->setPosition(1000);
    } else {
        // The sector search is not part of this page yet.
        next_->setEnabled(true);
        progress_->hide();
        stop_->hide();
        status_->setText(QStringLiteral("The advance scan is not available yet."));
    }
    return true;
}

void PopulateDriveDlg::standardScan() {
    addCustom_->hide();
    scanner_ = std::make_unique<Partition>();
    scanner_->gptFormat = choice_.gptFormat;
    gptHint_->hide();

    if (session().previousPageId == kDriveSelection) {
        session().reader.reset();
        session().totalSectors = 0;
        session().reader = std::make_unique<FileReadSeek>(&dialogs());
    }
    readWriteInterface* reader = session().reader.get();
    if (!reader) {
        dialogs().showMessage("information lost ..go back and parse again");
        return;
    }
    if (!reader->open(choice_.devicePath)) {
        dialogs().showMessage("file not opened..");
        return;
    }
    session().totalSectors = reader->totalSectors();
    reader->baseOffset = 0;
    scanner_->statusSink = statusLine_.get();
    list_->setRowCount(0);
    volumes_.clear();
    scanner_->ownerVolumes = &volumes_;
    scanner_->scanTables(*reader);
    reader->baseOffset = 0;

    for (size_t i = volumes_.size(); i-- > 0;) {
        volumes_[i].volumeId = std::to_string(i);
        insertRow(0, i);
    }
    // Never narrower than the usual widths, wider where a long GPT name needs it.
    for (int c = 0; c < 3; ++c) {
        int usual = list_->columnWidth(c);
        list_->resizeColumnToContents(c);
        if (list_->columnWidth(c) < usual)
            list_->setColumnWidth(c, usual);
    }
    customBox_->setEnabled(!volumes_.empty());

    // A GPT disk read through its protective MBR shows one "Unknown" entry; say why.
    if (!choice_.gptFormat && Partition::hasProtectiveMbrOnly(*reader)) {
        gptHint_->setText(QStringLiteral(
            "This disk has a GPT partition table. Go Back, tick \"GPT format\" and press Next to list its partitions."));
        gptHint_->show();
    }

    filter_->setEnabled(true);
    status_->setText(QStringLiteral("Finished Scanning."));
    progress_->hide();
    stop_->hide();
    status_->setText(QStringLiteral("Select volume and click next button..."));
}

void PopulateDriveDlg::insertRow(int at, size_t record) {
    const VolumeInfo& v = volumes_[record];
    list_->insertRow(at);
    const std::string texts[] = {v.volumeId, v.fsName, v.sizeText, std::to_string(v.startSector)};
    for (int c = 0; c < 4; ++c) {
        auto* item = new QTableWidgetItem(q(texts[c]));
        if (c == 0)
            item->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(record));
        list_->setItem(at, c, item);
    }
}

size_t PopulateDriveDlg::recordOfRow(int row) const {
    QTableWidgetItem* item = list_->item(row, kVolumeColumn);
    return item ? size_t(item->data(Qt::UserRole).toULongLong()) : SIZE_MAX;
}

std::string PopulateDriveDlg::cellText(int row, int column) const {
    QTableWidgetItem* item = list_->item(row, column);
    return item ? item->text().toStdString() : std::string();
}

int PopulateDriveDlg::selectedRow() const {
    QModelIndexList rows = list_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

const VolumeInfo* PopulateDriveDlg::currentVolume() const { return &current_; }

void PopulateDriveDlg::clickRow(int row) {
    if (row < 0 || row >= list_->rowCount())
        return;
    list_->setCurrentCell(row, 0);
    list_->selectRow(row);
    onRowClicked(row);
}

void PopulateDriveDlg::applyCustomSettings(bool enabled) {
    for (QWidget* w : customControls_)
        w->setEnabled(enabled);
}

void PopulateDriveDlg::onSelectionChanged() {
    int row = selectedRow();
    if (row < 0)
        return;
    selectedValue_->setText(q(cellText(row, kVolumeColumn)));
    std::string start = cellText(row, kStartColumn);
    startEdit_->setText(q(start));
    int64_t size = leadingNumber(cellText(row, kSizeColumn));
    int64_t end = size > 0 ? leadingNumber(start) + size * 2048 - 1 : 0;
    endEdit_->setText(QString::number(end));
}

void PopulateDriveDlg::onRowClicked(int row) {
    QString fs = q(cellText(row, kFileSystemColumn));
    if (fs.isEmpty())
        return;
    int found = treatAs_->findText(fs, Qt::MatchStartsWith);  // case-insensitive
    if (found >= 0)
        treatAs_->setCurrentIndex(found);
}

void PopulateDriveDlg::stepEdit(QLineEdit* edit, int delta) {
    int64_t n = leadingNumber(edit->text());
    if (delta < 0 && n < std::numeric_limits<int64_t>::max())
        edit->setText(QString::number(n + 1));
    else if (delta > 0 && n > 0)
        edit->setText(QString::number(n - 1));
}

void PopulateDriveDlg::onAddCustomVolume() {
    VolumeInfo v;
    v.fsName = "CUSTOM ";
    v.volumeId = std::to_string(volumes_.size());
    v.sizeText = "0";
    v.startSector = 0;
    volumes_.push_back(v);
    customBox_->setEnabled(true);
    customBox_->setChecked(true);
    applyCustomSettings(true);
    int at = choice_.scanMode == 2 ? 0 : list_->rowCount();
    insertRow(at, volumes_.size() - 1);
    list_->setCurrentCell(at, 0);
    list_->selectRow(at);
    startEdit_->setText(QStringLiteral("0"));
    endEdit_->setText(QStringLiteral("0"));
}

void PopulateDriveDlg::onFilterEntries() {
    list_->setRowCount(0);
    if (volumes_.size() < 2)
        return;
    for (size_t i = 1; i < volumes_.size(); ++i) {
        if (volumes_[i].startSector != volumes_[i - 1].startSector + 1)
            continue;
        insertRow(0, i);
        list_->item(0, kVolumeColumn)->setText(QString::number(qulonglong(i)));
    }
}

void PopulateDriveDlg::onStop() {
    if (scanner_)
        scanner_->stopRequested = true;
}

void PopulateDriveDlg::onNext() {
    int row = selectedRow();
    size_t record = row < 0 ? SIZE_MAX : recordOfRow(row);
    if (record >= volumes_.size()) {
        dialogs().showMessage("please select a valid volume.");
        return;
    }
    VolumeInfo& v = volumes_[record];
    if (!customBox_->isChecked() && customApplied_) {
        // What the row shows is what the record was before the custom values.
        v.volumeId = cellText(row, kVolumeColumn);
        v.fsName = cellText(row, kFileSystemColumn);
        std::string size = cellText(row, kSizeColumn);
        for (size_t at; (at = size.find("MB")) != std::string::npos;)
            size.erase(at, 2);
        v.sizeText = wizard::trimmed(size);
        v.startSector = leadingNumber(cellText(row, kStartColumn));
    }
    std::string chosen = treatAs_->currentIndex() >= 0 ? treatAs_->currentText().toStdString() : std::string();
    if (customBox_->isChecked()) {
        customApplied_ = true;
        v.startSector = leadingNumber(startEdit_->text());
        int64_t end = leadingNumber(endEdit_->text());
        int64_t sizeMb = 0;
        if (end > v.startSector) {
            // In unsigned arithmetic: the difference of two signed sectors may not fit.
            uint64_t span = uint64_t(end) - uint64_t(v.startSector);
            sizeMb = int64_t(span / 2048 + (span % 2048 == 2047 ? 1 : 0));
        }
        v.sizeText = std::to_string(sizeMb);
        static const char* const names[] = {"ntfs", "fat16", "fat32", "fat64", "extX", "HFS+"};
        for (const char* name : names)
            if (equalsIgnoreCase(chosen, name))
                v.fsName = name;
    }

    if (equalsIgnoreCase(chosen, "RAW")) {
        v.fsName = "RAW";
        current_ = v;
        WizardPage* raw = rawRecoveryFactory() ? rawRecoveryFactory()(*this) : nullptr;
        if (raw)
            showSuccessor(raw);
        else
            dialogs().showMessage("The raw recovery page is not available yet.");
    } else if (equalsIgnoreCase(v.fsName, "unknown")) {
        dialogs().showMessage("can not parse unknown volume");
    } else {
        current_ = v;
        showSuccessor(new ParceModeNtfsDlg(app(), this));
    }
    scanner_.reset();
}

} // namespace velmora
