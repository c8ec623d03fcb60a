// Icons for tree and list items: the desktop's icon for a file name's type, the folder icon,
// and the mapping from the tree's image indexes to icons.
#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

namespace velmora {

class CUseShGetFileInfo {
public:
    CUseShGetFileInfo();

    // The desktop theme's icon for a file of that name (by its type); the generic file icon
    // when the type is unknown.
    QIcon fileIcon(const QString& fileName) const;
    QIcon folderIcon() const;
    QIcon genericFileIcon() const;
    QIcon placeholderIcon() const;

    // Image indexes, shared with the item model (kFolderImage, fileImageIndex ...).
    int iconIndex(const std::string& fileName) const;
    int folderIconIndex() const;
    QIcon iconForIndex(int image) const;

private:
    mutable QHash<int, QIcon> cache_;
};

// Picks an installed icon theme when the platform gave none (headless runs, bare window
// managers), so type icons still differ by file type.
void ensureIconTheme();

} // namespace velmora
