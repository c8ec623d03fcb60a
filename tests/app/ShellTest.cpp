#include "QtTestApp.h"

#include "app/AppResources.h"
#include "app/CKestrumApp.h"
#include "app/CSysInfoAboutDlg.h"
#include "app/Physical_DriveDialog.h"
#include "app/QtDialogs.h"
#include "app/WizardPage.h"
#include "ui/CXHtmlTreeWidget.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace velmora;

namespace {

std::string lockName() { return "shell-test-" + std::to_string(getpid()); }

// A page with a Next button, like every wizard page.
class DemoPage : public WizardPage {
public:
    DemoPage(int id, CKestrumApp& app, QWidget* parent, bool initOk = true)
        : WizardPage(id, app, parent), initOk_(initOk) {
        next = makeImageButton(1003, QStringLiteral("Next"), QStyle::SP_ArrowForward);
        connect(next, &QPushButton::clicked, this, [this] { ++nextClicks; });
        helpButton()->move(0, 40);
        closeButton()->move(100, 40);
        resize(300, 100);
    }
    bool initPage() override { return initOk_; }
    QPushButton* next;
    int nextClicks = 0;

private:
    bool initOk_;
};

class Shell : public ::testing::Test {
protected:
    Shell() {
        test::qtApp();
        AppOptions o;
        o.lockName = lockName();
        o.dialogs = &dialogs;
        o.exitProcess = [this](int code) { exitCodes.push_back(code); };
        app = std::make_unique<CKestrumApp>(std::move(o));
    }
    ScriptedDialogs dialogs;
    std::vector<int> exitCodes;
    std::unique_ptr<CKestrumApp> app;
};

// Runs `check` on the modal dialog that `open` shows, then closes it.
template <typename Open, typename Check>
void withModal(Open open, Check check) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        seen = modal != nullptr;
        if (modal) {
            check(modal);
            if (modal->isVisible())
                static_cast<QDialog*>(modal)->reject();
        }
    });
    open();
    EXPECT_TRUE(seen) << "no modal dialog was shown";
}

} // namespace

TEST(Startup, SecondInstanceIsRefusedWithoutAPage) {
    test::qtApp();
    SingleInstanceLock running(lockName() + "-2nd");
    ScriptedDialogs dialogs;
    bool pageBuilt = false;
    AppOptions o;
    o.lockName = lockName() + "-2nd";
    o.dialogs = &dialogs;
    o.firstPage = [&](CKestrumApp&) -> WizardPage* {
        pageBuilt = true;
        return nullptr;
    };
    CKestrumApp second(std::move(o));
    EXPECT_TRUE(second.anotherInstanceRunning());
    EXPECT_EQ(second.run(), 0);
    EXPECT_FALSE(pageBuilt);
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Another instance of application is already running"});
}

TEST_F(Shell, FirstInstanceRunsTheDrivePageUntilItEnds) {
    QPointer<Physical_DriveDialog> shown;
    AppOptions o;
    o.lockName = lockName() + "-first";
    o.dialogs = &dialogs;
    o.firstPage = [&](CKestrumApp& a) -> WizardPage* {
        auto* page = new Physical_DriveDialog(a, nullptr);
        shown = page;
        QTimer::singleShot(0, page, [page] { page->done(0); });
        return page;
    };
    CKestrumApp first(std::move(o));
    first.session.driveFormatted = true;
    first.session.searchPattern = "left over";
    EXPECT_FALSE(first.anotherInstanceRunning());
    EXPECT_EQ(first.run(), 0);
    EXPECT_TRUE(shown.isNull()); // destroyed when it ended
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(first.session.rootLabel, "ROOT");
    EXPECT_FALSE(first.session.driveFormatted);
    EXPECT_TRUE(first.session.searchPattern.empty());
    EXPECT_EQ(first.settings().organizationName(), QStringLiteral("Rendlewick"));
}

TEST_F(Shell, DrivePageShowsItsControls) {
    Physical_DriveDialog page(*app, nullptr);
    ASSERT_TRUE(page.initPage());
    EXPECT_EQ(page.objectName(), QStringLiteral("130"));
    EXPECT_EQ(page.windowTitle(), QStringLiteral("Velmora"));
    auto* tree = page.findChild<CXHtmlTreeWidget*>(QStringLiteral("1022"));
    ASSERT_NE(tree, nullptr);
    auto roots = tree->tree().children(kTreeRoot);
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_EQ(tree->tree().itemText(roots[0]), "     VOLUMES:");
    EXPECT_EQ(tree->tree().itemText(roots[1]), "     PHYSICAL DRIVES:");
    EXPECT_EQ(tree->topLevelItemCount(), 2);
    for (const char* id : {"1326", "1003", "2"})
        EXPECT_NE(page.findChild<QPushButton*>(QLatin1String(id)), nullptr) << id;
}

TEST_F(Shell, EnterAndEscapeChangeNothing) {
    DemoPage page(130, *app, nullptr);
    page.show();
    page.activateWindow();
    for (QWidget* focus : {static_cast<QWidget*>(page.next), static_cast<QWidget*>(&page)}) {
        focus->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(focus, key);
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(page.isVisible());
    EXPECT_EQ(page.nextClicks, 0);
    EXPECT_EQ(page.result(), 0);
    EXPECT_TRUE(dialogs.messages.empty()); // not even the close question
    // Other keys still reach the controls.
    page.next->setFocus();
    QTest::keyClick(page.next, Qt::Key_Space);
    EXPECT_EQ(page.nextClicks, 1);
}

TEST_F(Shell, CloseAsksAndNoLeavesThePage) {
    DemoPage page(134, *app, nullptr);
    page.show();
    auto* close = page.findChild<QPushButton*>(QStringLiteral("2"));
    ASSERT_NE(close, nullptr);
    dialogs.answers = {false};
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Do you want to Close Application ?"});
    EXPECT_TRUE(page.isVisible());
    EXPECT_TRUE(exitCodes.empty());
    EXPECT_TRUE(dialogs.urls.empty());

    // The title bar's close button asks the same question.
    dialogs.answers = {false};
    page.close();
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(page.isVisible());

    dialogs.answers = {true};
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_EQ(exitCodes, std::vector<int>{0});
    EXPECT_EQ(dialogs.urls, std::vector<std::string>{productPageUrl()});
}

TEST_F(Shell, HelpMenuOpensLocalPagesAndTheAboutBox) {
    DemoPage page(136, *app, nullptr);
    page.show();
    auto* help = page.findChild<QPushButton*>(QStringLiteral("1326"));
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->text(), QStringLiteral("Help"));
    ASSERT_NE(help->menu(), nullptr);
    QStringList texts;
    for (QAction* a : help->menu()->actions())
        texts << a->text() + QLatin1Char('=') + a->objectName();
    EXPECT_EQ(texts, (QStringList{"Help=32771", "About=32775", "Software Webpage=32774"}));

    help->menu()->findChild<QAction*>(QStringLiteral("32771"))->trigger();
    help->menu()->findChild<QAction*>(QStringLiteral("32774"))->trigger();
    ASSERT_EQ(dialogs.urls.size(), 2u);
    // Both are pages shipped with the program, nothing remote.
    for (const std::string& u : dialogs.urls) {
        QUrl url(QString::fromStdString(u));
        EXPECT_TRUE(url.isLocalFile()) << u;
        EXPECT_TRUE(QFileInfo::exists(url.toLocalFile())) << u;
    }
    EXPECT_TRUE(QString::fromStdString(dialogs.urls[0]).endsWith("help.html"));
    EXPECT_TRUE(QString::fromStdString(dialogs.urls[1]).endsWith("product.html"));

    withModal([&] { help->menu()->findChild<QAction*>(QStringLiteral("32775"))->trigger(); },
              [&](QWidget* box) {
                  EXPECT_NE(qobject_cast<CSysInfoAboutDlg*>(box), nullptr);
                  EXPECT_EQ(box->objectName(), QStringLiteral("100"));
                  EXPECT_EQ(box->windowTitle(), QStringLiteral("Velmora"));
                  auto* title = box->findChild<QLabel*>(QStringLiteral("1027"));
                  ASSERT_NE(title, nullptr);
                  EXPECT_EQ(title->text(), QStringLiteral("Velmora"));
                  EXPECT_TRUE(title->font().bold());
                  EXPECT_FALSE(box->findChild<QLabel*>(QStringLiteral("1026"))->text().isEmpty());
                  struct Link {
                      const char* id;
                      const char* tip;
                  } links[] = {{"1229", "Company website"},
                               {"1003", "Support email address"},
                               {"1010", "Sales email address"}};
                  for (auto& l : links) {
                      auto* b = box->findChild<QPushButton*>(QLatin1String(l.id));
                      ASSERT_NE(b, nullptr) << l.id;
                      EXPECT_EQ(b->toolTip(), QLatin1String(l.tip));
                      QTest::mouseClick(b, Qt::LeftButton);
                  }
                  // Enter and Escape leave the box open; OK closes it.
                  QTest::keyClick(box, Qt::Key_Escape);
                  QTest::keyClick(box, Qt::Key_Return);
                  EXPECT_TRUE(box->isVisible());
                  QTest::mouseClick(box->findChild<QPushButton*>(QStringLiteral("1")), Qt::LeftButton);
                  EXPECT_FALSE(box->isVisible());
              });
    ASSERT_EQ(dialogs.urls.size(), 5u);
    EXPECT_EQ(dialogs.urls[2], productPageUrl());
    EXPECT_EQ(dialogs.urls[3], supportMailUrl());
    EXPECT_EQ(dialogs.urls[4], salesMailUrl());
    EXPECT_TRUE(page.isVisible());
}

TEST_F(Shell, NextBuildsASuccessorAndBackDestroysIt) {
    DemoPage first(130, *app, nullptr);
    first.show();
    QPointer<DemoPage> second = new DemoPage(152, *app, &first);
    ASSERT_TRUE(first.showSuccessor(second));
    EXPECT_TRUE(second->isVisible());
    EXPECT_FALSE(first.isVisible());
    EXPECT_EQ(second->parentWidget(), &first);
    EXPECT_TRUE(second->isWindow());
    EXPECT_EQ(second->previousPageId(), 130);
    EXPECT_EQ(second->windowTitle(), QStringLiteral("Velmora"));
    EXPECT_EQ(first.successor(), second.data());

    second->goBack();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(second.isNull());
    EXPECT_TRUE(first.isVisible());

    // Next again: a new page, nothing kept from the old one.
    QPointer<DemoPage> again = new DemoPage(152, *app, &first);
    ASSERT_TRUE(first.showSuccessor(again));
    EXPECT_EQ(again->nextClicks, 0);
    again->goBack();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // A successor that cannot be set up is dropped and the creator stays.
    QPointer<DemoPage> broken = new DemoPage(134, *app, &first, false);
    EXPECT_FALSE(first.showSuccessor(broken));
    EXPECT_TRUE(broken.isNull());
    EXPECT_TRUE(first.isVisible());
}

TEST(QtDialogs, AWorkerWaitsForTheAnswerGivenOnTheGuiThread) {
    test::qtApp();
    QtUserDialogs dialogs;
    std::atomic<bool> done{false};
    bool answer = false;
    QThread* boxThread = nullptr;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    // Answers the box as soon as it is up.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        boxThread = box->thread();
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        box->button(QMessageBox::Yes)->click();
    });
    poll.start(5);
    std::thread worker([&] {
        answer = dialogs.askYesNo("Save deleted files too?", UserDialogs::Icon::Question);
        done = true;
    });
    QElapsedTimer clock;
    clock.start();
    while (!done && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    worker.join();
    EXPECT_TRUE(answer);
    EXPECT_EQ(boxThread, QApplication::instance()->thread());
    EXPECT_EQ(title, QStringLiteral("Velmora"));
    EXPECT_EQ(text, QStringLiteral("Save deleted files too?"));
    EXPECT_EQ(icon, QMessageBox::Question);
}

TEST(QtDialogs, WindowsStyleFiltersBecomeQtFilters) {
    EXPECT_EQ(QtUserDialogs::qtFilter("Text Files (*.txt)|*.txt|All Files (*.*)|*.*||"),
              QStringLiteral("Text Files (*.txt);;All Files (*.*)"));
    EXPECT_EQ(QtUserDialogs::qtFilter("Settings|*.txt;*.cfg|"), QStringLiteral("Settings (*.txt *.cfg)"));
    EXPECT_EQ(QtUserDialogs::qtFilter("Images (*.png *.jpg)"), QStringLiteral("Images (*.png *.jpg)"));
}
