// The About box: banner, product title, rights notice, links to the web site and the two
// e-mail addresses, OK. It can be dragged by any point.
#pragma once

#include <QDialog>
#include <QPoint>

namespace velmora {

class CKestrumApp;

class CSysInfoAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSysInfoAboutDlg(CKestrumApp& app, QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    CKestrumApp& app_;
    bool dragging_ = false;
    QPoint dragOffset_;
};

} // namespace velmora
