#include "app/AppResources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>

namespace velmora {

QString resourceDir() {
    QString appDir = QCoreApplication::applicationDirPath();
    const QString candidates[] = {
        appDir + QStringLiteral("/resources"),
        appDir + QStringLiteral("/../share/velmora"),
        QStringLiteral(VELMORA_RESOURCE_SOURCE_DIR),
    };
    for (const QString& dir : candidates)
        if (QFileInfo::exists(dir + QStringLiteral("/help.html")))
            return QDir(dir).absolutePath();
    return QStringLiteral(VELMORA_RESOURCE_SOURCE_DIR);
}

static std::string localPage(const char* name) {
    return QUrl::fromLocalFile(resourceDir() + QLatin1Char('/') + QLatin1String(name)).toString().toStdString();
}

std::string helpPageUrl() { return localPage("help.html"); }
std::string productPageUrl() { return localPage("product.html"); }
std::string supportMailUrl() { return "mailto:support@velmora.example"; }
std::string salesMailUrl() { return "mailto:sales@velmora.example"; }

namespace {

// A disk platter with a green arrow lifting a file off it.
QPixmap drawIcon(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    qreal s = size / 64.0;
    p.scale(s, s);
    QLinearGradient body(0, 8, 0, 60);
    body.setColorAt(0, QColor(0x3a, 0x6e, 0xa5));
    body.setColorAt(1, QColor(0x1d, 0x3f, 0x66));
    p.setPen(QPen(QColor(0x12, 0x2a, 0x45), 2));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(4, 10, 56, 48), 8, 8);
    p.setBrush(QColor(0xd8, 0xe2, 0xee));
    p.setPen(QPen(QColor(0x8a, 0x9b, 0xb0), 1.5));
    p.drawEllipse(QPointF(32, 36), 16, 16);
    p.setBrush(QColor(0x3a, 0x6e, 0xa5));
    p.drawEllipse(QPointF(32, 36), 4, 4);
    QPainterPath arrow;
    arrow.moveTo(44, 4);
    arrow.lineTo(58, 18);
    arrow.lineTo(50, 18);
    arrow.lineTo(50, 30);
    arrow.lineTo(38, 30);
    arrow.lineTo(38, 18);
    arrow.lineTo(30, 18);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(0x1e, 0x6b, 0x1e), 1.5));
    p.setBrush(QColor(0x3c, 0xb3, 0x3c));
    p.drawPath(arrow);
    return pm;
}

} // namespace

QIcon applicationIcon() {
    static QIcon icon = [] {
        QIcon i;
        for (int size : {16, 24, 32, 48, 64, 128})
            i.addPixmap(drawIcon(size));
        return i;
    }();
    return icon;
}

QPixmap aboutBanner(int width, int height) {
    QPixmap pm(width, height);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, width, height);
    g.setColorAt(0, QColor(0x1d, 0x3f, 0x66));
    g.setColorAt(1, QColor(0x3a, 0x8e, 0xc5));
    p.fillRect(pm.rect(), g);
    int iconSize = height - 20;
    p.drawPixmap(12, 10, drawIcon(iconSize));
    QFont f = p.font();
    f.setPointSize(20);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(iconSize + 28, 0, width - iconSize - 36, height * 2 / 3), Qt::AlignLeft | Qt::AlignBottom,
               QStringLiteral("Velmora"));
    f.setPointSize(10);
    f.setBold(false);
    p.setFont(f);
    p.setPen(QColor(0xdd, 0xe8, 0xf4));
    p.drawText(QRect(iconSize + 28, height * 2 / 3, width - iconSize - 36, height / 3), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("Data recovery for NTFS, FAT, exFAT, ext and HFS+"));
    return pm;
}

} // namespace velmora
