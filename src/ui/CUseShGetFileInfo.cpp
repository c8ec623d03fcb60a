#include "ui/CUseShGetFileInfo.h"

#include "ui/CXHtmlTree.h"

#include <QApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QStyle>

namespace velmora {

void ensureIconTheme() {
    static bool done = false;
    if (done)
        return;
    done = true;
    if (!QIcon::themeName().isEmpty() && QIcon::themeName() != QLatin1String("hicolor"))
        return;
    // Without a desktop platform theme Qt only looks inside its own resources.
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& dir :
         QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                   QStandardPaths::LocateDirectory))
        if (!paths.contains(dir))
            paths << dir;
    QIcon::setThemeSearchPaths(paths);
    for (const char* theme : {"Adwaita", "breeze", "gnome", "oxygen", "Tango"}) {
        for (const QString& dir : QIcon::themeSearchPaths()) {
            if (QFileInfo::exists(dir + QLatin1Char('/') + QLatin1String(theme) + QLatin1String("/index.theme"))) {
                QIcon::setThemeName(QLatin1String(theme));
                return;
            }
        }
    }
}

CUseShGetFileInfo::CUseShGetFileInfo() { ensureIconTheme(); }

QIcon CUseShGetFileInfo::genericFileIcon() const {
    QIcon icon = QIcon::fromTheme(QStringLiteral("text-x-generic"));
    if (icon.isNull())
        icon = QIcon::fromTheme(QStringLiteral("application-x-generic"));
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    return icon;
}

QIcon CUseShGetFileInfo::folderIcon() const {
    QIcon icon = QIcon::fromTheme(QStringLiteral("folder"));
    if (icon.isNull())
        icon = QIcon::fromTheme(QStringLiteral("inode-directory"));
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
    return icon;
}

QIcon CUseShGetFileInfo::placeholderIcon() const { return genericFileIcon(); }

QIcon CUseShGetFileInfo::fileIcon(const QString& fileName) const {
    // By name only: the file does not exist on this machine.
    static QMimeDatabase db;
    QMimeType type = db.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    if (type.isValid() && !type.isDefault()) {
        QIcon icon = QIcon::fromTheme(type.iconName());
        if (icon.isNull())
            icon = QIcon::fromTheme(type.genericIconName());
        if (!icon.isNull())
            return icon;
    }
    return genericFileIcon();
}

int CUseShGetFileInfo::iconIndex(const std::string& fileName) const { return fileImageIndex(fileName); }

int CUseShGetFileInfo::folderIconIndex() const { return kFolderImage; }

QIcon CUseShGetFileInfo::iconForIndex(int image) const {
    auto it = cache_.find(image);
    if (it != cache_.end())
        return *it;
    QIcon icon;
    if (image == kFolderImage || image == kFolderImage + 1)
        icon = folderIcon();
    else if (image == kDummyImage)
        icon = placeholderIcon();
    else if (std::string ext = imageExtension(image); !ext.empty())
        icon = fileIcon(QStringLiteral("file.") + QString::fromStdString(ext));
    else
        icon = genericFileIcon();
    cache_.insert(image, icon);
    return icon;
}

} // namespace velmora
