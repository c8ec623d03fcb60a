#include "app/WizardPage.h"

#include "app/AppResources.h"
#include "app/CSysInfoAboutDlg.h"
#include "ui/CUseShGetFileInfo.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>

namespace velmora {

namespace {

constexpr const char* kSwallowProperty = "velmoraSwallowKeys";

// One filter for the whole application: keys go to the focused child first, so the page
// itself would see them too late (a focused button clicks on Enter).
class KeySwallower final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease &&
            event->type() != QEvent::ShortcutOverride)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter && key->key() != Qt::Key_Escape)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || !widget->window() || !widget->window()->property(kSwallowProperty).toBool())
            return false;
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept(); // no shortcut may fire either; the press that follows is eaten
            return true;
        }
        return true;
    }
};

} // namespace

void swallowEnterAndEscape(QWidget* window) {
    static KeySwallower* swallower = nullptr;
    if (!swallower) {
        swallower = new KeySwallower;
        swallower->setParent(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(swallower);
    }
    window->setProperty(kSwallowProperty, true);
}

WizardPage::WizardPage(int dialogId, CKestrumApp& app, QWidget* parent)
    : QDialog(parent), dialogId_(dialogId), app_(app) {
    ensureIconTheme();
    setObjectName(QString::number(dialogId));
    setWindowTitle(QStringLiteral("Velmora"));
    setWindowIcon(applicationIcon());
    // A page is a window of its own, also when it has a parent page.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    swallowEnterAndEscape(this);
}

WizardPage::~WizardPage() = default;

bool WizardPage::showSuccessor(WizardPage* page) {
    if (!page)
        return false;
    page->setPreviousPageId(dialogId_);
    if (!page->initPage()) {
        delete page;
        return false;
    }
    if (successor_ && successor_ != page)
        successor_->deleteLater();
    successor_ = page;
    page->show();
    hide();
    return true;
}

void WizardPage::goBack() {
    if (QWidget* creator = parentWidget())
        creator->show();
    hide();
    deleteLater();
}

void WizardPage::askClose() {
    if (!dialogs().askYesNo("Do you want to Close Application ?", UserDialogs::Icon::Question))
        return;
    openProductPage();
    hide();
    app_.exitProcess(0);
}

void WizardPage::showAbout() {
    CSysInfoAboutDlg about(app_, this);
    about.exec();
}

void WizardPage::openHelp() { dialogs().openUrl(helpPageUrl()); }

void WizardPage::openProductPage() { dialogs().openUrl(productPageUrl()); }

QPushButton* WizardPage::helpButton() {
    if (helpButton_)
        return helpButton_;
    helpButton_ = makeImageButton(1326, QStringLiteral("Help"), QStyle::SP_DialogHelpButton);
    auto* menu = new QMenu(helpButton_);
    menu->setObjectName(QStringLiteral("Menu_Help"));
    QAction* help = menu->addAction(QStringLiteral("Help"), this, &WizardPage::openHelp);
    help->setObjectName(QStringLiteral("32771"));
    QAction* about = menu->addAction(QStringLiteral("About"), this, &WizardPage::showAbout);
    about->setObjectName(QStringLiteral("32775"));
    QAction* web = menu->addAction(QStringLiteral("Software Webpage"), this, &WizardPage::openProductPage);
    web->setObjectName(QStringLiteral("32774"));
    helpButton_->setMenu(menu);
    return helpButton_;
}

QPushButton* WizardPage::closeButton() {
    if (closeButton_)
        return closeButton_;
    closeButton_ = makeImageButton(2, QStringLiteral("Close"), QStyle::SP_DialogCloseButton);
    connect(closeButton_, &QPushButton::clicked, this, &WizardPage::askClose);
    return closeButton_;
}

QPushButton* WizardPage::makeImageButton(int id, const QString& text, QStyle::StandardPixmap icon) {
    auto* button = new QPushButton(style()->standardIcon(icon), text, this);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

void WizardPage::closeEvent(QCloseEvent* event) {
    // The title bar's close button is the page's Close.
    event->ignore();
    askClose();
}

void WizardPage::reject() {
    // Escape is swallowed; anything else that rejects the page means Close.
    askClose();
}

} // namespace velmora
