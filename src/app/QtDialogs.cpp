#include "app/QtDialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>
#include <QUrl>

#include <functional>

namespace velmora {

namespace {

// Runs `f` on the GUI thread and waits for it.
template <typename F>
auto onGuiThread(F f) -> decltype(f()) {
    using R = decltype(f());
    if (!qApp || QThread::currentThread() == qApp->thread())
        return f();
    R result{};
    QMetaObject::invokeMethod(qApp, [&] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
}

QMessageBox::Icon boxIcon(UserDialogs::Icon icon) {
    switch (icon) {
    case UserDialogs::Icon::Question: return QMessageBox::Question;
    case UserDialogs::Icon::Warning: return QMessageBox::Warning;
    case UserDialogs::Icon::Error: return QMessageBox::Critical;
    default: return QMessageBox::Information;
    }
}

std::optional<std::filesystem::path> toPath(const QString& s) {
    if (s.isEmpty())
        return std::nullopt;
    return std::filesystem::path(s.toStdString());
}

} // namespace

QWidget* QtUserDialogs::owner() const {
    if (owner_)
        return owner_;
    QWidget* w = QApplication::activeModalWidget();
    return w ? w : QApplication::activeWindow();
}

void QtUserDialogs::showMessage(const std::string& text, Icon icon) {
    onGuiThread([&] {
        QMessageBox box(boxIcon(icon), QStringLiteral("Velmora"), QString::fromStdString(text), QMessageBox::Ok,
                        owner());
        box.exec();
        return 0;
    });
}

bool QtUserDialogs::askYesNo(const std::string& text, Icon icon) {
    return onGuiThread([&] {
        QMessageBox box(boxIcon(icon), QStringLiteral("Velmora"), QString::fromStdString(text),
                        QMessageBox::Yes | QMessageBox::No, owner());
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    });
}

std::optional<std::filesystem::path> QtUserDialogs::chooseFolder(const std::string& title) {
    return onGuiThread([&] {
        return toPath(QFileDialog::getExistingDirectory(owner(), QString::fromStdString(title)));
    });
}

QString QtUserDialogs::qtFilter(const std::string& filter) {
    QString f = QString::fromStdString(filter);
    if (!f.contains(QLatin1Char('|')))
        return f;
    // Pairs of description and pattern list separated by '|'; the description already
    // names the patterns in the usual style, so keep it and append them when it does not.
    QStringList parts = f.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString desc = parts[i].trimmed();
        QString patterns = parts[i + 1].trimmed().replace(QLatin1Char(';'), QLatin1Char(' '));
        out << (desc.contains(QLatin1Char('(')) ? desc : desc + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return out.join(QStringLiteral(";;"));
}

std::optional<std::filesystem::path> QtUserDialogs::chooseOpenFile(const std::string& title,
                                                                   const std::string& filter) {
    return onGuiThread([&] {
        return toPath(QFileDialog::getOpenFileName(owner(), QString::fromStdString(title), QString(), qtFilter(filter)));
    });
}

std::optional<std::filesystem::path> QtUserDialogs::chooseSaveFile(const std::string& title,
                                                                   const std::string& filter) {
    return onGuiThread([&] {
        return toPath(QFileDialog::getSaveFileName(owner(), QString::fromStdString(title), QString(), qtFilter(filter)));
    });
}

void QtUserDialogs::openUrl(const std::string& url) {
    onGuiThread([&] {
        QString u = QString::fromStdString(url);
        QUrl target = u.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(u) : QUrl(u);
        QDesktopServices::openUrl(target);
        return 0;
    });
}

} // namespace velmora
