// The scan results page: runs the parser of the chosen volume on a worker thread, shows the
// volume as a lazily filled folder tree with a file list, and saves the ticked files.
#pragma once

#include "app/WizardPage.h"
#include "fs/common/VolumeParser.h"
#include "fs/registry/ParserRegistry.h"
#include "host/Host.h"
#include "partition/VolumeInfo.h"
#include "scan/ResultBrowser.h"
#include "ui/CXHtmlTree.h"

#include <atomic>
#include <memory>
#include <thread>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace velmora {

class CCheckListCtrl;
class CXHtmlTreeWidget;

class VolumeScanDlg : public WizardPage {
    Q_OBJECT
public:
    VolumeScanDlg(CKestrumApp& app, QWidget* parent, VolumeInfo volume, int recoveryMode);
    ~VolumeScanDlg() override;

    // Picks the parser for the volume and starts its scan.
    bool initPage() override;

    // State the tests and the other handlers look at.
    bool busy() const { return busy_; }
    bool workerRunning() const { return worker_.joinable() && !workerDone_; }
    fs::VolumeParser* activeParser() const { return parser_.get(); }
    CXHtmlTree& resultTree() { return model_; }
    scan::ResultBrowser* browser() const { return browser_.get(); }
    CXHtmlTreeWidget* treeWidget() const { return tree_; }
    CCheckListCtrl* fileList() const { return list_; }
    QString statusText() const;
    QString destinationFolder() const;
    PauseGate& pauseGate() { return pause_; }
    // Waits for the running worker (scan or save) to end; for tests and for closing.
    void waitForWorker();

    void pausePressed();
    void resumePressed();
    void stopPressed();
    void savePressed();
    void labelClicked(TreeItem item);
    void itemDoubleClicked(TreeItem item);

signals:
    void workerFinished();

private:
    class GuiProgress;
    void buildControls();
    void startWorker(std::function<void()> body);
    void scanWorker();
    void saveWorker();
    void finishScan();
    void endOfRun();
    void setScanButtonsVisible(bool visible);
    void setSavingControlsEnabled(bool enabled);
    void setStatus(const QString& text);
    void fillList(const std::vector<scan::ListRow>& rows);
    void saveOneFile(TreeItem item);
    void listCheckClicked(int row, int stateBefore);

    VolumeInfo volume_;
    int mode_ = -1;
    const fs::ParserKind* kind_ = nullptr;
    CXHtmlTree model_;
    std::unique_ptr<fs::VolumeParser> parser_;
    std::unique_ptr<scan::ResultBrowser> browser_;
    std::unique_ptr<GuiProgress> progress_;
    PauseGate pause_;
    std::atomic<bool> stopFlag_{false};
    std::atomic<bool> busy_{false};
    std::atomic<bool> workerDone_{true};
    bool searchResultsShown_ = false;
    std::thread worker_;
    std::string saveDestination_;  // the worker's copy of the chosen folder
    int64_t scale_ = 1;            // progress values per bar step

    CXHtmlTreeWidget* tree_ = nullptr;
    CCheckListCtrl* list_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* sizeLine_ = nullptr;
    QLineEdit* volumeData_ = nullptr;
    QLineEdit* destination_ = nullptr;  // hidden: the folder chosen with Save
    QLineEdit* searchEdit_ = nullptr;
    QPushButton* searchButton_ = nullptr;
    QPushButton* pauseButton_ = nullptr;
    QPushButton* resumeButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QPushButton* backButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
};

} // namespace velmora
