#include "app/ApplicationLook.h"

#include "app/CommandIds.h"

#include <QApplication>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>

namespace tavrin::app {
namespace {

const LookDescription kLooks[] = {
    {ID_VIEW_APPLOOK_WIN_2000, "Windows 2000", "Windows"},
    {ID_VIEW_APPLOOK_OFF_XP, "Office XP", "Fusion"},
    {ID_VIEW_APPLOOK_WIN_XP, "Windows XP", "Fusion"},
    {ID_VIEW_APPLOOK_OFF_2003, "Office 2003", "Fusion"},
    {ID_VIEW_APPLOOK_VS_2005, "Visual Studio 2005", "Fusion"},
    {ID_VIEW_APPLOOK_OFF_2007_BLUE, "Office 2007 (Blue Style)", "Fusion"},
    {ID_VIEW_APPLOOK_OFF_2007_BLACK, "Office 2007 (Black Style)", "Fusion"},
    {ID_VIEW_APPLOOK_OFF_2007_SILVER, "Office 2007 (Silver Style)", "Fusion"},
    {ID_VIEW_APPLOOK_OFF_2007_AQUA, "Office 2007 (Aqua Style)", "Fusion"},
};

struct LookColours {
    QRgb window;
    QRgb button;
    QRgb text;
    QRgb highlight;
    QRgb highlightedText;
    QRgb base;
};

LookColours ColoursOf(int id)
{
    switch (id) {
    case ID_VIEW_APPLOOK_WIN_2000: return {0xD4D0C8, 0xD4D0C8, 0x000000, 0x0A246A, 0xFFFFFF, 0xFFFFFF};
    case ID_VIEW_APPLOOK_OFF_XP: return {0xF3F2EE, 0xEBEAE6, 0x000000, 0xB6BDD2, 0x000000, 0xFFFFFF};
    case ID_VIEW_APPLOOK_WIN_XP: return {0xECE9D8, 0xECE9D8, 0x000000, 0x316AC5, 0xFFFFFF, 0xFFFFFF};
    case ID_VIEW_APPLOOK_OFF_2003: return {0xC3DAF9, 0xDDECFE, 0x000000, 0xFFEEC2, 0x000000, 0xFFFFFF};
    case ID_VIEW_APPLOOK_VS_2005: return {0xEEEDE5, 0xF5F4EE, 0x000000, 0xC1D2EE, 0x000000, 0xFFFFFF};
    case ID_VIEW_APPLOOK_OFF_2007_BLACK: return {0x535353, 0x6A6A6A, 0xFFFFFF, 0xFFD85A, 0x000000, 0x3C3C3C};
    case ID_VIEW_APPLOOK_OFF_2007_SILVER: return {0xDDE1E7, 0xE9ECF0, 0x000000, 0xFFE38F, 0x000000, 0xFFFFFF};
    case ID_VIEW_APPLOOK_OFF_2007_AQUA: return {0xC9D6E4, 0xDCE6F1, 0x0B2A4A, 0xFFE38F, 0x000000, 0xFFFFFF};
    case ID_VIEW_APPLOOK_OFF_2007_BLUE:
    default: return {0xBFDBFF, 0xD5E6FA, 0x15428B, 0xFFE38F, 0x000000, 0xFFFFFF};
    }
}

} // namespace

LookDescription DescribeLook(int id)
{
    for (const LookDescription& look : kLooks) {
        if (look.id == id)
            return look;
    }
    return DescribeLook(kDefaultLook);
}

QPalette LookPalette(int id)
{
    const LookColours c = ColoursOf(DescribeLook(id).id);
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(c.window));
    palette.setColor(QPalette::Button, QColor(c.button));
    palette.setColor(QPalette::WindowText, QColor(c.text));
    palette.setColor(QPalette::ButtonText, QColor(c.text));
    palette.setColor(QPalette::Base, QColor(c.base));
    palette.setColor(QPalette::AlternateBase, QColor(c.button));
    palette.setColor(QPalette::Text, QColor(c.base) == QColor(Qt::white) ? QColor(Qt::black) : QColor(Qt::white));
    palette.setColor(QPalette::Highlight, QColor(c.highlight));
    palette.setColor(QPalette::HighlightedText, QColor(c.highlightedText));
    palette.setColor(QPalette::ToolTipBase, QColor(0xFFFFE1));
    palette.setColor(QPalette::ToolTipText, Qt::black);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x8D8D8D));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x8D8D8D));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x8D8D8D));
    return palette;
}

std::unique_ptr<QSettings> OpenSettings()
{
    return std::make_unique<QSettings>(QStringLiteral("Tavrin"), QString::fromUtf8(kSettingsKey));
}

int LoadApplicationLook()
{
    bool ok = false;
    const int id = OpenSettings()->value(QString::fromUtf8(kApplicationLookValue), kDefaultLook).toInt(&ok);
    return ok && id >= kFirstLook && id <= kLastLook ? id : kDefaultLook;
}

void SaveApplicationLook(int id)
{
    auto settings = OpenSettings();
    settings->setValue(QString::fromUtf8(kApplicationLookValue), id);
    settings->sync();
}

void ApplyApplicationLook(int id)
{
    const LookDescription look = DescribeLook(id);
    if (QStyle* style = QStyleFactory::create(QString::fromUtf8(look.styleName)))
        QApplication::setStyle(style);
    QApplication::setPalette(LookPalette(look.id));
}

} // namespace tavrin::app
