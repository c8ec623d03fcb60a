#include "app/VolumeScanDlg.h"

#include "fs/common/OutputNames.h"
#include "scan/TreeSaver.h"
#include "ui/CCheckListCtrl.h"
#include "ui/CXHtmlTreeWidget.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include <climits>
#include <unistd.h>

namespace velmora {

// Progress and status from a worker, handed to the GUI thread without waiting for it.
class VolumeScanDlg::GuiProgress final : public ProgressSink {
public:
    explicit GuiProgress(VolumeScanDlg* page) : page_(page) {}
    void setRange(int64_t low, int64_t high) override {
        post([low, high](VolumeScanDlg* p) {
            // The bar counts in int; large ranges are scaled.
            p->scale_ = 1;
            while ((high - low) / p->scale_ > INT32_MAX)
                p->scale_ *= 2;
            p->progressBar_->setRange(int(low / p->scale_), int(high / p->scale_));
        });
    }
    void setPosition(int64_t position) override {
        post([position](VolumeScanDlg* p) { p->progressBar_->setValue(int(position / p->scale_)); });
    }
    void setStatus(const std::string& text) override {
        QString t = QString::fromStdString(text);
        post([t](VolumeScanDlg* p) { p->setStatus(t); });
    }
    void sizeLine(const std::string& text) {
        QString t = QString::fromStdString(text);
        post([t](VolumeScanDlg* p) { p->sizeLine_->setText(t); });
    }

private:
    template <typename F>
    void post(F f) {
        QPointer<VolumeScanDlg> page = page_;
        QMetaObject::invokeMethod(
            page_, [page, f] { if (page) f(page.data()); }, Qt::QueuedConnection);
    }
    VolumeScanDlg* page_;
};

namespace {

// Size lines go to the page; a file that cannot be written is reported. A full or read-only
// destination fails every file alike, so only the first failure gets a box of its own and
// the rest are summed up once the run is over.
class SaveRunObserver final : public scan::SaveObserver {
public:
    SaveRunObserver(std::function<void(const std::string&)> sizeSink, UserDialogs& dialogs)
        : sink_(std::move(sizeSink)), dialogs_(dialogs) {}
    void sizeLine(const std::string& text) override { sink_(text); }
    void failed(const std::string& path, const std::string& why) override {
        if (failures_++ == 0)
            dialogs_.showMessage("Exception :  " + (why.empty() ? path : why) + "   ");
    }
    void reportRest() {
        if (failures_ > 1)
            dialogs_.showMessage("Exception :  " + std::to_string(failures_ - 1) + " more files could not be saved   ");
    }

private:
    std::function<void(const std::string&)> sink_;
    UserDialogs& dialogs_;
    uint64_t failures_ = 0;
};

} // namespace

VolumeScanDlg::VolumeScanDlg(CKestrumApp& app, QWidget* parent, VolumeInfo volume, int recoveryMode)
    : WizardPage(kScanResults, app, parent), volume_(std::move(volume)), mode_(recoveryMode) {
    progress_ = std::make_unique<GuiProgress>(this);
    buildControls();
}

VolumeScanDlg::~VolumeScanDlg() {
    stopFlag_ = true;
    if (parser_)
        parser_->requestStop();
    pause_.release();
    if (worker_.joinable())
        worker_.join();
    // The tree view observes model_, a member that is gone before the base class deletes
    // the child widgets.
    delete tree_;
    tree_ = nullptr;
}

void VolumeScanDlg::buildControls() {
    tree_ = new CXHtmlTreeWidget(this, &model_);
    tree_->setObjectName(QStringLiteral("1042"));
    tree_->setHeaderHidden(true);
    list_ = new CCheckListCtrl(this);
    list_->setObjectName(QStringLiteral("1268"));
    // The texts of the time columns need more room than their titles.
    const std::pair<const char*, int> columns[] = {{"File(s) List", 150},    {"Creation Time", 150},
                                                   {"Access Time", 150},     {"Modification Time", 150},
                                                   {"Size", 80},             {"Attribute", 70}};
    for (int i = 0; i < 6; ++i)
        list_->insertColumn(i, QString::fromUtf8(columns[i].first), columns[i].second);
    list_->initCheckHeader();

    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("1055"));
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("1033"));
    sizeLine_ = new QLabel(this);
    sizeLine_->setObjectName(QStringLiteral("1325"));
    auto* volumeLabel = new QLabel(QStringLiteral("Volume Data:"), this);
    volumeLabel->setObjectName(QStringLiteral("1056"));
    volumeData_ = new QLineEdit(this);
    volumeData_->setObjectName(QStringLiteral("1322"));
    volumeData_->setReadOnly(true);
    destination_ = new QLineEdit(this);
    destination_->setObjectName(QStringLiteral("1107"));
    destination_->hide();
    searchEdit_ = new QLineEdit(this);
    searchEdit_->setObjectName(QStringLiteral("1319"));
    searchButton_ = makeImageButton(1318, QStringLiteral("Search"), QStyle::SP_FileDialogContentsView);
    // Searching the results comes with a later version.
    searchEdit_->setEnabled(false);
    searchButton_->setEnabled(false);
    searchButton_->setToolTip(QStringLiteral("Searching the results is not available yet."));
    auto* hint = new QLabel(QStringLiteral("* Use \"|\" to find multiple file type "), this);
    pauseButton_ = makeImageButton(1060, QStringLiteral("Pause"), QStyle::SP_MediaPause);
    resumeButton_ = makeImageButton(1061, QStringLiteral("Resume"), QStyle::SP_MediaPlay);
    stopButton_ = makeImageButton(1059, QStringLiteral("Stop"), QStyle::SP_MediaStop);
    backButton_ = makeImageButton(1057, QStringLiteral("Back"), QStyle::SP_ArrowBack);
    saveButton_ = makeImageButton(1269, QStringLiteral("Save"), QStyle::SP_DialogSaveButton);
    auto* exitButton = makeImageButton(1, QStringLiteral("EXIT"), QStyle::SP_DialogCloseButton);
    exitButton->hide();

    auto* splitter = new QSplitter(this);
    splitter->addWidget(tree_);
    splitter->addWidget(list_);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 2);

    auto* top = new QHBoxLayout;
    top->addWidget(volumeLabel);
    top->addWidget(volumeData_, 1);
    top->addSpacing(16);
    top->addWidget(searchEdit_, 1);
    top->addWidget(searchButton_);
    top->addWidget(hint);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(pauseButton_);
    buttons->addWidget(resumeButton_);
    buttons->addWidget(stopButton_);
    buttons->addStretch(1);
    buttons->addWidget(helpButton());
    buttons->addWidget(backButton_);
    buttons->addWidget(saveButton_);
    buttons->addWidget(closeButton());

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(splitter, 1);
    layout->addWidget(progressBar_);
    layout->addWidget(status_);
    layout->addWidget(sizeLine_);
    layout->addLayout(buttons);
    splitter->setSizes({280, 820});
    resize(1120, 620);

    connect(pauseButton_, &QPushButton::clicked, this, &VolumeScanDlg::pausePressed);
    connect(resumeButton_, &QPushButton::clicked, this, &VolumeScanDlg::resumePressed);
    connect(stopButton_, &QPushButton::clicked, this, &VolumeScanDlg::stopPressed);
    connect(saveButton_, &QPushButton::clicked, this, &VolumeScanDlg::savePressed);
    connect(backButton_, &QPushButton::clicked, this, [this] { goBack(); });
    connect(exitButton, &QPushButton::clicked, this, [this] {
        if (parser_)
            parser_->requestStop();
        setStatus(QStringLiteral("All thread Stopped"));
        this->app().exitProcess(0);
    });
    connect(tree_, &CXHtmlTreeWidget::labelClicked, this, [this](quint64 item) { labelClicked(item); });
    connect(tree_, &CXHtmlTreeWidget::itemExpanding, this, [this](quint64 item) {
        if (browser_)
            browser_->fillChildren(item);
    });
    connect(tree_, &CXHtmlTreeWidget::itemDoubleClicked, this, [this](quint64 item) { itemDoubleClicked(item); });
    connect(list_, &CCheckListCtrl::checkBoxClicked, this, &VolumeScanDlg::listCheckClicked);
    // The header's box ticks every row without a row click; the tree follows those too.
    connect(list_, &CCheckListCtrl::rowStateChanged, this, [this](int row) {
        if (searchResultsShown_)
            return;
        TreeItem item = list_->itemData(row);
        bool ticked = list_->getCheck(row);
        if (item != kTreeRoot && model_.exists(item) && model_.isChecked(item) != ticked)
            model_.setCheck(item, ticked);
    });
}

QString VolumeScanDlg::statusText() const { return status_->text(); }
QString VolumeScanDlg::destinationFolder() const { return destination_->text(); }
void VolumeScanDlg::setStatus(const QString& text) { status_->setText(text); }

void VolumeScanDlg::setScanButtonsVisible(bool visible) {
    progressBar_->setVisible(visible);
    pauseButton_->setVisible(visible);
    resumeButton_->setVisible(visible);
    stopButton_->setVisible(visible);
}

bool VolumeScanDlg::initPage() {
    busy_ = true;
    backButton_->setEnabled(false);
    volumeData_->setText(QString::fromStdString(volume_.volumeName.empty() ? volume_.volumeId : volume_.volumeName));

    // The recovery mode page reads the name after its leading blanks; so does the choice here.
    kind_ = fs::findParserKind(fs::trimWhitespace(volume_.fsName));
    if (!kind_) {
        dialogs().showMessage("not a valid drive.");
        backButton_->setEnabled(true);
        setStatus(QStringLiteral("Not a valid Drive .Go back"));
        return true;
    }
    readWriteInterface* reader = session().reader.get();
    if (!reader) {
        dialogs().showMessage("Please Restart the program to re begin necessary initialization...");
        return true;
    }
    if (!kind_->selectedStatus.empty())
        setStatus(QString::fromStdString(kind_->selectedStatus));
    if (session().isVolume && !reader->open(volume_.volumeId)) {
        backButton_->setEnabled(true);
        busy_ = false;
        return true;
    }
    if (mode_ < 1 || mode_ > 3 || !kind_->modes[mode_])
        return true;  // no scan for this mode: the page stays busy, as a scan that never ends

    fs::ParserContext ctx;
    ctx.reader = reader;
    ctx.volume = volume_;
    ctx.recoveryMode = mode_;
    ctx.progress = progress_.get();
    ctx.pause = &pause_;
    ctx.dialogs = &dialogs();
    ctx.rootLabel = session().rootLabel;
    parser_ = kind_->create(ctx);
    browser_ = std::make_unique<scan::ResultBrowser>(model_, *parser_, kind_->rules);
    startWorker([this] { scanWorker(); });
    return true;
}

void VolumeScanDlg::startWorker(std::function<void()> body) {
    if (worker_.joinable())
        worker_.join();
    workerDone_ = false;
    worker_ = std::thread([this, body = std::move(body)] {
        body();
        workerDone_ = true;
        QMetaObject::invokeMethod(this, [this] { emit workerFinished(); }, Qt::QueuedConnection);
    });
}

void VolumeScanDlg::waitForWorker() {
    if (worker_.joinable())
        worker_.join();
}

void VolumeScanDlg::scanWorker() {
    parser_->scan();
    browser_->fillRoot(session().rootLabel);
    browser_->addPlaceholders();
    const std::string done = "Scanning processing done.Select save button to save the data.";
    dialogs().showMessage(done);
    progress_->setStatus(done);
    QMetaObject::invokeMethod(this, [this] { finishScan(); }, Qt::QueuedConnection);
}

void VolumeScanDlg::finishScan() {
    backButton_->setEnabled(true);
    setScanButtonsVisible(false);
    busy_ = false;
    endOfRun();
}

void VolumeScanDlg::endOfRun() {
    // A Stop or Pause pressed during a run is over with it: left set, the parser would refuse
    // to write file contents and a later save (or a double-click save on this thread) would
    // wait for a Resume with the button hidden.
    if (parser_)
        parser_->stopFlag().store(false);
    pause_.resumeAll();
    stopFlag_ = false;
}

void VolumeScanDlg::pausePressed() {
    if (!worker_.joinable() || workerDone_)
        return;
    pause_.pause();
    setStatus(QStringLiteral("Pause button pressed"));
}

void VolumeScanDlg::resumePressed() {
    if (!worker_.joinable())
        return;
    pause_.resume();
    setStatus(QStringLiteral("Resume button pressed"));
}

void VolumeScanDlg::stopPressed() {
    if (!parser_)
        return;
    // The parser's own flag ends a scan; a save run ends through the page's flag alone, so
    // that later saves still work.
    if (busy_)
        parser_->requestStop();
    stopFlag_ = true;
    pause_.wake();
    // A save paused inside a file waits on the parser's own flag, which a save leaves alone:
    // Stop lets it finish that file and end.
    if (!busy_)
        pause_.resumeAll();
    setStatus(QStringLiteral("stop button pressed.Please wait for the process to be stopped."));
}

void VolumeScanDlg::fillList(const std::vector<scan::ListRow>& rows) {
    list_->deleteAllItems();
    searchResultsShown_ = false;
    for (const auto& r : rows) {
        int row = list_->insertItem(list_->itemCount(), QString::fromStdString(r.name));
        list_->setItemText(row, 1, QString::fromStdString(r.creation));
        list_->setItemText(row, 2, QString::fromStdString(r.access));
        list_->setItemText(row, 3, QString::fromStdString(r.modification));
        list_->setItemText(row, 4, QString::fromStdString(r.size));
        list_->setItemText(row, 5, QString::fromStdString(r.attributes));
        list_->setItemData(row, r.item);
        list_->setCheck(row, model_.isChecked(r.item));
    }
}

void VolumeScanDlg::labelClicked(TreeItem item) {
    if (!browser_)
        return;
    if (auto rows = browser_->labelClicked(item))
        fillList(*rows);
}

void VolumeScanDlg::listCheckClicked(int row, int stateBefore) {
    if (searchResultsShown_)
        return;
    TreeItem item = list_->itemData(row);
    if (item != kTreeRoot && model_.exists(item))
        model_.setCheck(item, stateBefore == CCheckListCtrl::kUnchecked);
}

void VolumeScanDlg::itemDoubleClicked(TreeItem item) {
    if (!browser_ || busy_ || !browser_->entryOf(item))
        return;
    if (browser_->isFolder(item)) {
        browser_->fillChildren(item);
        if (!model_.itemHasChildren(item))
            return;
        std::vector<scan::ListRow> rows;
        for (TreeItem child : model_.children(item))
            if (browser_->entryOf(child) && !browser_->isFolder(child)) {
                scan::ListRow r;
                r.name = model_.itemText(child);
                r.item = child;
                rows.push_back(r);
            }
        fillList(rows);
        return;
    }
    saveOneFile(item);
}

void VolumeScanDlg::saveOneFile(TreeItem item) {
    // With no folder chosen yet the user is asked for one, rather than writing anywhere.
    if (destination_->text().isEmpty()) {
        auto folder = dialogs().chooseFolder("Please choose a folder.");
        if (!folder)
            return;
        destination_->setText(QString::fromStdString(folder->string()));
    }
    auto ref = browser_->entryOf(item);
    if (!ref)
        return;
    std::string cannotOpen;
    auto dest = fs::OutputFolder::openRoot(destination_->text().toStdString(), &cannotOpen);
    if (!dest) {
        dialogs().showMessage("Exception :  " + cannotOpen + "   ");
        return;
    }
    fs::EntryDescription d = parser_->describe(*ref);
    std::string used, why;
    int fd = dest->createNewFile(fs::trimWhitespace(d.name), &used, &why);
    if (fd < 0) {
        dialogs().showMessage("Exception :  " + why + "   ");
        return;
    }
    fs::SaveOutcome r = parser_->saveContent(fd, *ref);
    if (::close(fd) != 0 && r.ok) {
        r.ok = false;
        r.error = "the file could not be closed";
    }
    if (!r.ok && !r.error.empty())
        dialogs().showMessage("Exception :  " + r.error + "   ");
}

void VolumeScanDlg::setSavingControlsEnabled(bool enabled) {
    tree_->setEnabled(enabled);
    list_->setEnabled(enabled);
    saveButton_->setEnabled(enabled);
    backButton_->setEnabled(enabled);
}

void VolumeScanDlg::savePressed() {
    if (busy_) {
        dialogs().showMessage("Please wait for other process to complete");
        return;
    }
    if (!browser_ || model_.countChecked() == 0) {
        dialogs().showMessage("Please select File or Folder to save");
        return;
    }
    auto folder = dialogs().chooseFolder("Please choose a folder.");
    destination_->setText(folder ? QString::fromStdString(folder->string()) : QString());
    if (!folder)
        return;
    saveDestination_ = folder->string();
    setScanButtonsVisible(true);
    setSavingControlsEnabled(false);
    stopFlag_ = false;
    startWorker([this] { saveWorker(); });
}

void VolumeScanDlg::saveWorker() {
    auto restore = [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                setSavingControlsEnabled(true);
                setScanButtonsVisible(false);
                endOfRun();
            },
            Qt::QueuedConnection);
    };
    if (model_.countChecked() == 0) {
        dialogs().showMessage("Please select items to save");
        restore();
        return;
    }
    bool saveDeleted = dialogs().askYesNo("Do you want to Save Deleted Files?");
    progress_->setPosition(0);
    scan::TreeSaver saver(*browser_);
    SaveRunObserver sizes([this](const std::string& t) { progress_->sizeLine(t); }, dialogs());
    scan::SaveRequest req;
    req.destination = saveDestination_;
    req.skipDeleted = !saveDeleted;
    req.progress = progress_.get();
    req.observer = &sizes;
    req.stop = &stopFlag_;
    req.pause = &pause_;
    saver.saveCheckedItems(req);
    sizes.reportRest();
    dialogs().showMessage("Saving Process Completed..");
    progress_->setStatus("Saving Process Completed..");
    restore();
}

} // namespace velmora
