// The About box: the product name and version over a background picture, the rights
// notice, the product line, and links to the web site and the two mail desks.
#pragma once

#include <QDialog>
#include <QFont>
#include <QPixmap>

class CKelvarTransparentStatic;
class CLinkLabel;
class QPushButton;

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
    CKelvarTransparentStatic* productName_ = nullptr;
    CKelvarTransparentStatic* rightsNotice_ = nullptr;
    CKelvarTransparentStatic* productLine_ = nullptr;
    CLinkLabel* webSite_ = nullptr;
    CLinkLabel* supportMail_ = nullptr;
    CLinkLabel* salesMail_ = nullptr;
    QPushButton* ok_ = nullptr;
};

} // namespace tavrin::app
