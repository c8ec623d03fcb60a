#include "app/CKestrumApp.h"

#include "app/Physical_DriveDialog.h"
#include "app/QtDialogs.h"
#include "app/WizardPage.h"

#include <QApplication>
#include <QEventLoop>

#include <cstdio>
#include <cstdlib>

namespace velmora {

namespace {
CKestrumApp* g_app = nullptr;
}

CKestrumApp::CKestrumApp(AppOptions options) : options_(std::move(options)), lock_(options_.lockName) {
    if (options_.dialogs) {
        dialogs_ = options_.dialogs;
    } else {
        ownDialogs_ = std::make_unique<QtUserDialogs>();
        dialogs_ = ownDialogs_.get();
    }
    g_app = this;
}

CKestrumApp::~CKestrumApp() {
    if (g_app == this)
        g_app = nullptr;
}

CKestrumApp* CKestrumApp::instance() { return g_app; }

void CKestrumApp::exitProcess(int code) {
    if (options_.exitProcess) {
        options_.exitProcess(code);
        return;
    }
    // At once, as the user asked: no teardown of pages or workers that may be mid-way.
    std::fflush(nullptr);
    std::_Exit(code);
}

int CKestrumApp::run() {
    session.rootLabel = "ROOT";
    session.isVolume = false;
    session.totalSectors = 0;
    QCoreApplication::setOrganizationName(QStringLiteral("Rendlewick"));
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
    settings_ = std::make_unique<QSettings>(QStringLiteral("Rendlewick"), QStringLiteral("Velmora"));

    if (lock_.alreadyExists()) {
        dialogs_->showMessage("Another instance of application is already running",
                              UserDialogs::Icon::Information);
        return 0;
    }

    WizardPage* page = options_.firstPage ? options_.firstPage(*this) : new Physical_DriveDialog(*this, nullptr);
    if (!page)
        return 0;
    session.driveFormatted = false;
    session.searchPattern.clear();
    // Hidden pages must not end the program; only the first page's end does.
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        app->setQuitOnLastWindowClosed(false);
    int result = 0;
    if (page->initPage()) {
        QEventLoop loop;
        QObject::connect(page, &QDialog::finished, &loop, [&](int r) {
            result = r;
            loop.quit();
        });
        page->show();
        loop.exec();
    }
    delete page;
    (void)result;
    return 0;
}

} // namespace velmora
