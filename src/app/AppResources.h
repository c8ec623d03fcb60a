// What the program ships beside itself: the local help and product pages, the program icon
// and the About banner (drawn here, so no image files are needed).
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace velmora {

// Folder holding help.html and product.html.
QString resourceDir();
// file:// addresses of the local pages.
std::string helpPageUrl();
std::string productPageUrl();
std::string supportMailUrl();
std::string salesMailUrl();

QIcon applicationIcon();
QPixmap aboutBanner(int width, int height);

} // namespace velmora
