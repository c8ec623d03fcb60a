// What every wizard page shares: the caption, keys that never act, the Help menu, Close,
// and the Next/Back protocol (a successor is built anew with the page as parent; the creator
// hides; Back destroys the page and shows its creator again).
#pragma once

#include "app/CKestrumApp.h"

#include <QDialog>
#include <QPointer>
#include <QStyle>

class QMenu;
class QPushButton;

namespace velmora {

class WizardPage : public QDialog {
    Q_OBJECT
public:
    // Page ids, the dialog ids of the wizard.
    static constexpr int kDriveSelection = 130;
    static constexpr int kDriveParsingModes = 152;
    static constexpr int kPartitionList = 134;
    static constexpr int kVolumeInformation = 135;
    static constexpr int kRecoveryMode = 136;
    static constexpr int kAdvanceOptions = 153;
    static constexpr int kScanResults = 139;
    static constexpr int kRawRecovery = 151;

    WizardPage(int dialogId, CKestrumApp& app, QWidget* parent);
    ~WizardPage() override;

    int dialogId() const { return dialogId_; }
    // Dialog id of the page that created this one (0 for the first page).
    int previousPageId() const { return previousPageId_; }
    void setPreviousPageId(int id) { previousPageId_ = id; }

    CKestrumApp& app() { return app_; }
    ScanSession& session() { return app_.session; }
    UserDialogs& dialogs() { return app_.dialogs(); }

    // The page's own set-up once its controls exist. False when the page cannot be shown.
    virtual bool initPage() { return true; }

    // Next: shows `page` (built with this page as parent) and hides this one. On failure the
    // page is destroyed and this one stays; returns whether the successor is shown.
    bool showSuccessor(WizardPage* page);
    WizardPage* successor() const { return successor_; }
    // Back: shows the creator again and destroys this page.
    void goBack();

    // Close: asks, and on Yes opens the product page and ends the process.
    void askClose();
    void showAbout();
    void openHelp();
    void openProductPage();

    // Controls every page has, built on request and named by their ids.
    QPushButton* helpButton();  // "1326" with the Help menu
    QPushButton* closeButton(); // "2"
    // An image button: icon and text.
    QPushButton* makeImageButton(int id, const QString& text, QStyle::StandardPixmap icon);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    int dialogId_;
    int previousPageId_ = 0;
    CKestrumApp& app_;
    QPointer<WizardPage> successor_;
    QPushButton* helpButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
};

// Makes Enter and Escape do nothing anywhere inside `window` (its message boxes excepted).
void swallowEnterAndEscape(QWidget* window);

} // namespace velmora
