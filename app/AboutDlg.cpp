#include "app/AboutDlg.h"

#include "app/CommandIds.h"
#include "controls/KelvarTransparentStatic.h"
#include "controls/LinkLabel.h"

#include <QPainter>
#include <QPushButton>

namespace tavrin::app {
namespace {

constexpr const char* kRightsNotice = "\u00A9 2026 Tavrin Software. All rights reserved.";

// The visible text of a link: the address itself, without the mail scheme.
QString VisibleAddress(const char* target)
{
    QString text = QString::fromUtf8(target);
    text.remove(QStringLiteral("mailto:"));
    return text;
}

} // namespace

QRect CAboutDlg::DialogUnitsToPixels(int x, int y, int width, int height)
{
    // Base units of the 8 point dialog font: 6 pixels across, 13 down; a dialog unit is
    // a quarter of the first and an eighth of the second.
    auto across = [](int units) { return (units * 6 + 2) / 4; };
    auto down = [](int units) { return (units * 13 + 4) / 8; };
    return QRect(across(x), down(y), across(width), down(height));
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent)
    , background_(QStringLiteral(":/bitmap/327.png"))
{
    boldFont_ = QFont(QStringLiteral("Arial"));
    boldFont_.setPixelSize(16);
    boldFont_.setWeight(QFont::Bold);

    const QString title = QString::fromUtf8(kApplicationTitle);
    setFont(QFont(QStringLiteral("MS Shell Dlg"), 8));
    setFixedSize(DialogUnitsToPixels(0, 0, 234, 201).size());
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    productName_ = new controls::CKelvarTransparentStatic(QString(), this);
    productName_->setGeometry(DialogUnitsToPixels(42, 68, 180, 10));
    rightsNotice_ = new controls::CKelvarTransparentStatic(QString(), this);
    rightsNotice_->setGeometry(DialogUnitsToPixels(60, 85, 165, 8));
    productLine_ = new controls::CKelvarTransparentStatic(QString(), this);
    productLine_->setGeometry(DialogUnitsToPixels(60, 99, 165, 8));
    webSite_ = new controls::CLinkLabel(VisibleAddress(kMakerWebSite), QString(), this);
    webSite_->setGeometry(DialogUnitsToPixels(76, 114, 93, 8));
    supportMail_ = new controls::CLinkLabel(VisibleAddress(kSupportMail), QString(), this);
    supportMail_->setGeometry(DialogUnitsToPixels(76, 125, 84, 8));
    salesMail_ = new controls::CLinkLabel(VisibleAddress(kSalesMail), QString(), this);
    salesMail_->setGeometry(DialogUnitsToPixels(77, 136, 76, 8));
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setGeometry(DialogUnitsToPixels(95, 184, 50, 14));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    productLine_->setText(QStringLiteral("%1 Software").arg(title));
    productName_->setText(QStringLiteral("%1 v%2.%3").arg(title).arg(1).arg(0));
    setWindowTitle(QStringLiteral("About %1").arg(productName_->text()));
    rightsNotice_->setText(QString::fromUtf8(kRightsNotice));
    productName_->setFont(boldFont_);
    webSite_->SetLinkTarget(QString::fromUtf8(kMakerWebSite));
    webSite_->SetUnderlineMode(controls::CLinkLabel::UnderlineAlways);
    supportMail_->SetLinkTarget(QString::fromUtf8(kSupportMail));
    supportMail_->SetUnderlineMode(controls::CLinkLabel::UnderlineAlways);
    salesMail_->SetLinkTarget(QString::fromUtf8(kSalesMail));
    salesMail_->SetUnderlineMode(controls::CLinkLabel::UnderlineAlways);
    ok_->setToolTip(QStringLiteral("OK"));
    ok_->setIcon(QIcon(QStringLiteral(":/png/359.png")));
    ok_->setIconSize(QSize(20, 20));
    ok_->setFocus();
}

void CAboutDlg::paintEvent(QPaintEvent* event)
{
    if (background_.isNull()) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.drawPixmap(0, 0, background_);
}

} // namespace tavrin::app
