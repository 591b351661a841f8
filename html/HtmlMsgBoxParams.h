// The parameter record of the HTML message box: what to show, which buttons, how the
// areas are painted, countdowns and the "Do not show again" check box.
//
// Style bits and button ids keep the values of the classic platform message box so that
// call sites read like ordinary message-box calls.
#pragma once

#include <QHash>
#include <QString>

#include <cstdint>

class QWidget;

namespace tavrin {

// Button sets (low four style bits).
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_ABORTRETRYIGNORE = 0x2;
inline constexpr unsigned MB_YESNOCANCEL = 0x3;
inline constexpr unsigned MB_YESNO = 0x4;
inline constexpr unsigned MB_RETRYCANCEL = 0x5;
inline constexpr unsigned MB_CANCELTRYCONTINUE = 0x6;
inline constexpr unsigned HMB_CONTINUEABORT = 0x7;
inline constexpr unsigned HMB_SKIPSKIPALLCANCEL = 0x8;
inline constexpr unsigned HMB_IGNOREIGNOREALLCANCEL = 0x9;
inline constexpr unsigned MB_TYPEMASK = 0xF;

// Icons (0xF0).
inline constexpr unsigned MB_ICONHAND = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_ICONASTERISK = 0x40;
inline constexpr unsigned MB_ICONINFORMATION = MB_ICONASTERISK;
inline constexpr unsigned MB_USERICON = 0x80;
inline constexpr unsigned MB_ICONMASK = 0xF0;

// Default button index ((style >> 8) & 0xF).
inline constexpr unsigned MB_DEFBUTTON1 = 0x000;
inline constexpr unsigned MB_DEFBUTTON2 = 0x100;
inline constexpr unsigned MB_DEFBUTTON3 = 0x200;
inline constexpr unsigned MB_DEFBUTTON4 = 0x300;

inline constexpr unsigned MB_HELP = 0x00004000;
inline constexpr unsigned MB_SETFOREGROUND = 0x00010000;
inline constexpr unsigned MB_TOPMOST = 0x00040000;
inline constexpr unsigned MB_RIGHT = 0x00080000;
inline constexpr unsigned HMB_CHECKBOX = 0x01000000;
inline constexpr unsigned HMB_CHECKBOXCHECKED = 0x02000000;
inline constexpr unsigned HMB_CHECKBOXBELOW = 0x04000000;
inline constexpr unsigned HMB_YESTOALL = 0x08000000;
inline constexpr unsigned HMB_NOTOALL = 0x10000000;
inline constexpr unsigned HMB_NORESOURCE = 0x20000000;
inline constexpr unsigned HMB_NOSOUND = 0x40000000;

// Button ids: the values a pressed button returns.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
inline constexpr int IDHELP = 9;
inline constexpr int IDTRYAGAIN = 10;
inline constexpr int IDCONTINUE = 11;
inline constexpr int HMBID_SKIP = 14;
inline constexpr int HMBID_SKIPALL = 15;
inline constexpr int HMBID_IGNOREALL = 16;
inline constexpr int HMBID_YESTOALL = 19;
inline constexpr int HMBID_NOTOALL = 20;
inline constexpr int HMBID_REPORT = 21;
inline constexpr int HMBID_CUSTOM1 = 23;
inline constexpr int HMBID_CUSTOM2 = 24;
inline constexpr int HMBID_CUSTOM3 = 25;
inline constexpr int HMBID_CUSTOM4 = 26;
inline constexpr int HMBID_LESS = 30;
inline constexpr int HMBID_MORE = 31;

// Keys of `buttonTexts` that are not button ids.
inline constexpr std::uint32_t kCheckBoxTextKey = 0x01000000;
inline constexpr std::uint32_t kCaptionCountdownKey = 0x80000000;

// System colour of dialog faces, the default of every area.
inline constexpr std::uint32_t kColorBtnFace = 0x00F0F0F0;

// Separator kinds of an area.
inline constexpr int kSeparatorNone = 0;
inline constexpr int kSeparatorEtched = 1;
inline constexpr int kSeparatorBlack = 2;
inline constexpr int kSeparatorWhite = 3;

// One horizontal area of the box: its background and the line on its border.
struct HtmlMsgBoxArea {
    int separator = kSeparatorNone;
    int separatorAlign = 0; // 0 left, 1 right, 2 centre
    QString separatorText;
    int effect = -1; // fill effect id; -1 = no background of its own
    std::uint32_t color1 = kColorBtnFace;
    std::uint32_t color2 = kColorBtnFace;
    std::uint32_t color3 = kColorBtnFace;
};

struct HtmlMsgBoxParams {
    QWidget* parent = nullptr;
    QString caption;
    QString moduleName;  // first part of the remembered-answer value name
    QString companyName; // optional settings level for remembered answers
    int lineNumber = 0;  // second part of the remembered-answer value name
    // Event type sent to `parent` by the Report button; 0 = no Report button.
    unsigned reportMessage = 0;
    HtmlMsgBoxArea messageArea;
    int headerHeight = 0;
    QString headerText;
    HtmlMsgBoxArea headerArea;
    QString text;
    int buttonAlign = 2; // 0 left, 1 right, 2 centre
    unsigned style = MB_OK | MB_ICONEXCLAMATION;
    HtmlMsgBoxArea buttonArea;
    QString moreText;
    HtmlMsgBoxArea moreArea;
    int autoClickSeconds = 0;
    int disabledSeconds = 0;
    bool countdownInCaption = false;
    unsigned helpContext = 0;
    QString userIcon;      // pixmap file or resource path for MB_USERICON
    QString customButtons; // up to four captions separated by "\n"
    QString checkBoxText;
    QHash<std::uint32_t, QString> buttonTexts; // replacement captions by button id
};

} // namespace tavrin
