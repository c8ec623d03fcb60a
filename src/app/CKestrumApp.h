// The application object: the single-instance rule, the process-wide wizard state and the
// services every page uses (dialogs, settings, ending the process).
#pragma once

#include "app/ScanSession.h"
#include "app/SingleInstance.h"
#include "host/Host.h"

#include <QSettings>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

class WizardPage;
class CKestrumApp;

struct AppOptions {
    std::string lockName = kInstanceLockName;
    // Dialog service; the desktop's own when null.
    UserDialogs* dialogs = nullptr;
    // Ends the process at once; tests put a recorder here.
    std::function<void(int)> exitProcess;
    // Builds the first page; the drive selection page when empty.
    std::function<WizardPage*(CKestrumApp&)> firstPage;
    // Disk images named on the command line, for the drive list.
    std::vector<std::string> imageArguments;
};

class CKestrumApp {
public:
    // Takes the instance lock first, before anything else is set up.
    explicit CKestrumApp(AppOptions options = {});
    ~CKestrumApp();
    CKestrumApp(const CKestrumApp&) = delete;
    CKestrumApp& operator=(const CKestrumApp&) = delete;

    // The one application object, or null when none exists.
    static CKestrumApp* instance();

    // Start-up: refuses a second copy, else runs the first page until it ends. Returns the
    // exit code. A QApplication must exist.
    int run();

    ScanSession session;

    UserDialogs& dialogs() { return *dialogs_; }
    QSettings& settings() { return *settings_; }
    const std::vector<std::string>& imageArguments() const { return options_.imageArguments; }
    void setImageArguments(std::vector<std::string> images) { options_.imageArguments = std::move(images); }
    bool anotherInstanceRunning() const { return lock_.alreadyExists(); }
    // Ends the process with `code` (after Close was confirmed).
    void exitProcess(int code);

private:
    AppOptions options_;
    SingleInstanceLock lock_;
    std::unique_ptr<UserDialogs> ownDialogs_;
    UserDialogs* dialogs_;
    std::unique_ptr<QSettings> settings_;
};

} // namespace velmora
