#include "app/CSysInfoAboutDlg.h"

#include "app/AppResources.h"
#include "app/CKestrumApp.h"
#include "app/WizardPage.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

namespace velmora {

namespace {

QPushButton* linkButton(QWidget* parent, int id, const QString& text, const QString& tip) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::number(id));
    b->setToolTip(tip);
    b->setFlat(true);
    b->setCursor(Qt::PointingHandCursor);
    b->setAutoDefault(false);
    b->setStyleSheet(QStringLiteral("QPushButton { color: #1a5fb4; text-decoration: underline; border: none;"
                                    " text-align: left; padding: 2px 4px; }"));
    return b;
}

} // namespace

CSysInfoAboutDlg::CSysInfoAboutDlg(CKestrumApp& app, QWidget* parent) : QDialog(parent), app_(app) {
    setObjectName(QStringLiteral("100"));
    setWindowTitle(QStringLiteral("Velmora"));
    setWindowIcon(applicationIcon());
    swallowEnterAndEscape(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 12);
    layout->setSpacing(8);

    auto* banner = new QLabel(this);
    banner->setObjectName(QStringLiteral("167"));
    banner->setPixmap(aboutBanner(440, 96));
    layout->addWidget(banner);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(18, 4, 18, 0);
    body->setSpacing(6);
    auto* title = new QLabel(QStringLiteral("Velmora"), this);
    title->setObjectName(QStringLiteral("1027"));
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    title->setFont(bold);
    body->addWidget(title);

    auto* rights = new QLabel(QStringLiteral("Version %1\nCopyright \u00A9 Rendlewick. All rights reserved.")
                                  .arg(QStringLiteral(VELMORA_VERSION_TEXT)),
                              this);
    rights->setObjectName(QStringLiteral("1026"));
    body->addWidget(rights);

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    body->addWidget(rule);

    auto* web = linkButton(this, 1229, QStringLiteral("Velmora web site"), QStringLiteral("Company website"));
    auto* support = linkButton(this, 1003, QStringLiteral("support@velmora.example"),
                               QStringLiteral("Support email address"));
    auto* sales = linkButton(this, 1010, QStringLiteral("sales@velmora.example"), QStringLiteral("Sales email address"));
    connect(web, &QPushButton::clicked, this, [this] { app_.dialogs().openUrl(productPageUrl()); });
    connect(support, &QPushButton::clicked, this, [this] { app_.dialogs().openUrl(supportMailUrl()); });
    connect(sales, &QPushButton::clicked, this, [this] { app_.dialogs().openUrl(salesMailUrl()); });
    auto* links = new QVBoxLayout;
    links->setSpacing(0);
    for (const auto& label : {std::pair{QStringLiteral("Web site:"), web}, std::pair{QStringLiteral("Support:"), support},
                        std::pair{QStringLiteral("Sales:"), sales}}) {
        auto* row = new QHBoxLayout;
        auto* caption = new QLabel(label.first, this);
        caption->setMinimumWidth(70);
        row->addWidget(caption);
        row->addWidget(label.second);
        row->addStretch();
        links->addLayout(row);
    }
    body->addLayout(links);
    layout->addLayout(body);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(18, 0, 18, 0);
    buttons->addStretch();
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setAutoDefault(false);
    ok->setMinimumWidth(90);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

// Any point of the box moves it, like its caption.
void CSysInfoAboutDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(event);
        return;
    }
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CSysInfoAboutDlg::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - dragOffset_);
    else
        QDialog::mouseMoveEvent(event);
}

void CSysInfoAboutDlg::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    QDialog::mouseReleaseEvent(event);
}

} // namespace velmora
