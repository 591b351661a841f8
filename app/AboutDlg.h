// The About box: the product name and version over a background picture, the rights
// notice, the product line, and links to the web site and the two mail desks.
#pragma once

#include <QDialog>
#include <QFont>
#include <QPixmap>

class QPushButton;

namespace tavrin::controls {
class CKelvarTransparentStatic;
class CLinkLabel;
} // namespace tavrin::controls

namespace tavrin::app {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // Dialog units of the box's "MS Shell Dlg" 8 point font, in pixels.
    static QRect DialogUnitsToPixels(int x, int y, int width, int height);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap background_;
    QFont boldFont_;
    controls::CKelvarTransparentStatic* productName_ = nullptr;
    controls::CKelvarTransparentStatic* rightsNotice_ = nullptr;
    controls::CKelvarTransparentStatic* productLine_ = nullptr;
    controls::CLinkLabel* webSite_ = nullptr;
    controls::CLinkLabel* supportMail_ = nullptr;
    controls::CLinkLabel* salesMail_ = nullptr;
    QPushButton* ok_ = nullptr;
};

} // namespace tavrin::app
