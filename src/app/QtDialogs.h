// UserDialogs for the desktop: message boxes titled "Velmora", the desktop's file and
// folder choosers, and the default browser or mail program for links. Callable from any
// thread: a worker waits while the GUI thread shows the dialog.
#pragma once

#include "host/Host.h"

#include <QPointer>
#include <QWidget>

namespace velmora {

class QtUserDialogs final : public UserDialogs {
public:
    // Dialogs are owned by `owner` when set, else by the active window (none at start-up).
    explicit QtUserDialogs(QWidget* owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget* owner) { owner_ = owner; }

    void showMessage(const std::string& text, Icon icon = Icon::Information) override;
    bool askYesNo(const std::string& text, Icon icon = Icon::Question) override;
    std::optional<std::filesystem::path> chooseFolder(const std::string& title) override;
    std::optional<std::filesystem::path> chooseOpenFile(const std::string& title,
                                                        const std::string& filter) override;
    std::optional<std::filesystem::path> chooseSaveFile(const std::string& title,
                                                        const std::string& filter) override;
    void openUrl(const std::string& url) override;

    // "Text files (*.txt)|*.txt|All files (*.*)|*.*||" or a Qt filter, as a Qt filter.
    static QString qtFilter(const std::string& filter);

private:
    QWidget* owner() const;
    QPointer<QWidget> owner_;
};

} // namespace velmora
