#include "html/HtmlMessageBoxDlg.h"

#include "html/DesktopOpener.h"
#include "html/HelpDocumentLocation.h"
#include "html/IconHandleRegistry.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeySequence>
#include <QTextDocumentFragment>
#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStyle>

#include <algorithm>

namespace tavrin {
namespace {

// Rounded a * b / c, as the classic dialog-unit conversions do it.
int MulDiv(int a, int b, int c) { return static_cast<int>((static_cast<long long>(a) * b + c / 2) / c); }

// Fills the first %s and the first %d of a countdown format.
QString FormatCountdown(const QString& format, const QString& text, int seconds)
{
    QString result = format;
    const qsizetype s = result.indexOf(QLatin1String("%s"));
    if (s >= 0)
        result.replace(s, 2, text);
    const qsizetype d = result.indexOf(QLatin1String("%d"), s >= 0 ? s + text.size() : 0);
    if (d >= 0)
        result.replace(d, 2, QString::number(seconds));
    return result;
}

QString BuiltInCaption(int id)
{
    switch (id) {
    case IDOK: return QStringLiteral("OK");
    case IDCANCEL: return QStringLiteral("Cancel");
    case IDABORT: return QStringLiteral("Abort");
    case IDRETRY: return QStringLiteral("Retry");
    case IDIGNORE: return QStringLiteral("Ignore");
    case IDYES: return QStringLiteral("Yes");
    case IDNO: return QStringLiteral("No");
    case IDHELP: return QStringLiteral("Help");
    case IDTRYAGAIN: return QStringLiteral("Try again");
    case IDCONTINUE: return QStringLiteral("Continue");
    case HMBID_SKIP: return QStringLiteral("Skip");
    case HMBID_SKIPALL: return QStringLiteral("Skip all");
    case HMBID_IGNOREALL: return QStringLiteral("Ignore all");
    case HMBID_YESTOALL: return QStringLiteral("Yes to all");
    case HMBID_NOTOALL: return QStringLiteral("No to all");
    case HMBID_REPORT: return QStringLiteral("Report");
    case HMBID_LESS: return QStringLiteral("<< More");
    case HMBID_MORE: return QStringLiteral("More >>");
    default: return {};
    }
}

QColor FromColourRef(std::uint32_t c)
{
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

// Settings group and value name of a remembered answer: the program's file name under
// the optional company level, then "HtmlMessageBox"; the value is module and line.
QString RememberedAnswerPath(const HtmlMsgBoxParams& params)
{
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QString group = program + QStringLiteral("/HtmlMessageBox");
    if (!params.companyName.isEmpty())
        group = params.companyName + QLatin1Char('/') + group;
    return group + QLatin1Char('/') + params.moduleName + QString::number(params.lineNumber);
}

bool HasOwnLook(const HtmlMsgBoxArea& area) { return area.effect != -1 || area.separator != kSeparatorNone; }

} // namespace

CHtmlMessageBoxDlg::CHtmlMessageBoxDlg(const HtmlMsgBoxParams& params, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                         | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_params(params)
{
    m_params.parent = owner;
    setModal(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);

    m_caption = m_params.caption;
    if (m_caption.isEmpty() && owner)
        m_caption = owner->window()->windowTitle().left(260);
    if (m_caption.isEmpty())
        m_caption = QStringLiteral("Error");
    m_countdownFormat = m_params.buttonTexts.value(kCaptionCountdownKey);
    if (m_countdownFormat.isEmpty())
        m_countdownFormat = QStringLiteral("%s (%d seconds remaining)");
    m_messageFont = QApplication::font();
    LoadIcon();

    if (m_params.disabledSeconds > 0)
        m_countdown = m_params.disabledSeconds;
    if (m_params.autoClickSeconds > 0)
        m_countdown = m_params.autoClickSeconds;

    // Ctrl+C and the context menu copy what the box says, as a system message box does.
    auto* copy = new QAction(QStringLiteral("&Copy"), this);
    copy->setObjectName(QStringLiteral("CopyText"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WindowShortcut);
    connect(copy, &QAction::triggered, this, [this] { QGuiApplication::clipboard()->setText(PlainText()); });
    addAction(copy);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    // Hover changes repaint only the HTML strips; the child controls stay as they are.
    m_header.SetRepaintNotification([this] { update(HeaderRect().united(MessageRect())); });
    m_message.SetRepaintNotification([this] { update(HeaderRect().united(MessageRect())); });
    m_details.SetRepaintNotification([this] {
        if (m_detailsOpen)
            update(DetailsRect());
    });

    m_messageHtml = m_params.text;
    if (m_params.style & MB_RIGHT)
        m_messageHtml = QStringLiteral("<right>%1</right>").arg(m_messageHtml);
    if (!m_icon.isNull()) {
        m_iconHandle = RegisterIconHandle(m_icon);
        m_messageHtml = QStringLiteral("<table cellpadding=%1><tr><td width=%2><icon handle=0x%3></td><td>%4</td></tr></table>")
                            .arg(kIconPadding)
                            .arg(kIconSize)
                            .arg(QString::number(m_iconHandle, 16).toUpper())
                            .arg(m_messageHtml);
    }

    CreateControlsAndSize();
    UpdateCloseBox();
    SetCountdownCaption();
    CentreWindow();
    PlaceControls();
    if (m_params.style & MB_TOPMOST)
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &CHtmlMessageBoxDlg::OnTimer);
    if (m_countdown > 0)
        m_timer.start();
}

CHtmlMessageBoxDlg::~CHtmlMessageBoxDlg()
{
    if (m_iconHandle)
        ReleaseIconHandle(m_iconHandle);
}

void CHtmlMessageBoxDlg::LoadIcon()
{
    QStyle::StandardPixmap which;
    switch (m_params.style & MB_ICONMASK) {
    case MB_ICONHAND: which = QStyle::SP_MessageBoxCritical; break;
    case MB_ICONQUESTION: which = QStyle::SP_MessageBoxQuestion; break;
    case MB_ICONEXCLAMATION: which = QStyle::SP_MessageBoxWarning; break;
    case MB_ICONASTERISK: which = QStyle::SP_MessageBoxInformation; break;
    case MB_USERICON:
        m_icon = QPixmap(m_params.userIcon);
        return;
    default: return;
    }
    m_icon = style()->standardIcon(which, nullptr, this).pixmap(kIconSize, kIconSize);
}

QString CHtmlMessageBoxDlg::ButtonCaption(int id) const
{
    const QString own = m_params.buttonTexts.value(static_cast<std::uint32_t>(id));
    return own.isEmpty() ? BuiltInCaption(id) : own;
}

void CHtmlMessageBoxDlg::AddButtonsForStyle()
{
    std::vector<int> ids;
    const unsigned style = m_params.style;
    const bool custom = !m_params.customButtons.isEmpty();
    if (custom) {
        // Custom captions replace the set; the user must pick one of them.
        QString list = m_params.customButtons;
        list.remove(QLatin1Char('\r'));
        int next = HMBID_CUSTOM1;
        for (const QString& segment : list.split(QLatin1Char('\n'))) {
            if (segment.isEmpty())
                continue;
            if (next > HMBID_CUSTOM4)
                break;
            ids.push_back(next++);
        }
        m_cancelAllowed = false;
    } else {
        switch (style & MB_TYPEMASK) {
        case MB_OKCANCEL: ids = {IDOK, IDCANCEL}; break;
        case MB_ABORTRETRYIGNORE: ids = {IDABORT, IDRETRY, IDIGNORE}; break;
        case MB_YESNOCANCEL:
        case MB_YESNO:
            ids.push_back(IDYES);
            if (style & HMB_YESTOALL)
                ids.push_back(HMBID_YESTOALL);
            ids.push_back(IDNO);
            if (style & HMB_NOTOALL)
                ids.push_back(HMBID_NOTOALL);
            if ((style & MB_TYPEMASK) == MB_YESNOCANCEL)
                ids.push_back(IDCANCEL);
            break;
        case MB_RETRYCANCEL: ids = {IDRETRY, IDCANCEL}; break;
        case MB_CANCELTRYCONTINUE: ids = {IDCANCEL, IDTRYAGAIN, IDCONTINUE}; break;
        case HMB_CONTINUEABORT: ids = {IDCONTINUE, IDABORT}; break;
        case HMB_SKIPSKIPALLCANCEL: ids = {HMBID_SKIP, HMBID_SKIPALL, IDCANCEL}; break;
        case HMB_IGNOREIGNOREALLCANCEL: ids = {IDIGNORE, HMBID_IGNOREALL, IDCANCEL}; break;
        default: ids = {IDOK}; break;
        }
        const unsigned set = style & MB_TYPEMASK;
        m_cancelAllowed = set != MB_ABORTRETRYIGNORE && set != MB_YESNO && set != HMB_CONTINUEABORT;
    }
    if (style & MB_HELP)
        ids.push_back(IDHELP);
    if (m_params.reportMessage != 0 && m_params.parent)
        ids.push_back(HMBID_REPORT);
    if (!m_params.moreText.isEmpty())
        ids.push_back(HMBID_MORE);

    QStringList customCaptions;
    if (custom) {
        QString list = m_params.customButtons;
        list.remove(QLatin1Char('\r'));
        for (const QString& segment : list.split(QLatin1Char('\n')))
            if (!segment.isEmpty())
                customCaptions << segment;
    }
    for (int id : ids) {
        QString caption;
        if (id >= HMBID_CUSTOM1 && id <= HMBID_CUSTOM4)
            caption = customCaptions.value(id - HMBID_CUSTOM1);
        else
            caption = ButtonCaption(id);
        auto* button = new QPushButton(caption, this);
        button->setFont(m_messageFont);
        button->setAutoDefault(true);
        connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
        m_buttons.push_back({id, button});
    }
}

void CHtmlMessageBoxDlg::CreateControlsAndSize()
{
    for (const ButtonInfo& info : m_buttons)
        delete info.button;
    m_buttons.clear();
    delete m_checkBox;
    delete m_checkLabel;
    m_checkBox = nullptr;
    m_checkLabel = nullptr;

    const QFontMetrics metrics(m_messageFont);
    auto extent = [&metrics](const QString& text) { return metrics.size(Qt::TextSingleLine, text); };
    m_boxWidth = 0;
    m_headerHeight = 0;
    m_messageHeight = 0;
    m_detailsHeight = 0;

    if (m_params.headerHeight > 0) {
        const QSize header = m_header.MeasureHtml(m_params.headerText);
        m_headerHeight = std::max(m_params.headerHeight, header.height() + 2 * kMarginY);
        m_boxWidth = std::max(m_boxWidth, header.width() + 2 * kMarginX);
        if (m_params.headerArea.separator != kSeparatorNone)
            m_boxWidth = std::max(m_boxWidth, extent(m_params.headerArea.separatorText).width() + 10);
    }
    if (!m_messageHtml.isEmpty()) {
        const QSize message = m_message.MeasureHtml(m_messageHtml);
        m_messageHeight = message.height() + 2 * kMarginY;
        m_boxWidth = std::max(m_boxWidth, message.width() + 2 * kMarginX);
    }
    if (!m_params.moreText.isEmpty()) {
        const QSize details = m_details.MeasureHtml(m_params.moreText);
        m_detailsHeight = details.height() + 2 * kMarginY;
        m_boxWidth = std::max(m_boxWidth, details.width() + 2 * kMarginX);
    }

    m_buttonAreaHeight = kButtonAreaMargin;
    if (HasOwnLook(m_params.buttonArea))
        m_buttonAreaHeight += kButtonAreaMargin;
    if (m_params.buttonArea.separator != kSeparatorNone)
        m_boxWidth = std::max(m_boxWidth, extent(m_params.buttonArea.separatorText).width() + 10);

    if (m_params.style & HMB_CHECKBOX) {
        m_buttonAreaHeight += 24;
        QString caption = m_params.buttonTexts.value(kCheckBoxTextKey);
        if (caption.isEmpty())
            caption = m_params.checkBoxText;
        if (caption.isEmpty())
            caption = QStringLiteral("Do not show again");
        m_boxWidth = std::max(m_boxWidth, extent(caption).width() + 40);
        m_checkBox = new QCheckBox(this);
        m_checkBox->setFocusPolicy(Qt::StrongFocus);
        m_checkBox->setChecked((m_params.style & HMB_CHECKBOXCHECKED) != 0);
        m_checkBox->resize(kCheckBoxSide, kCheckBoxSide);
        m_checkLabel = new QLabel(caption, this);
        m_checkLabel->setFont(m_messageFont);
        m_checkLabel->setAttribute(Qt::WA_TranslucentBackground);
        m_checkLabel->resize(extent(caption));
    }

    AddButtonsForStyle();
    m_moreCaption = ButtonCaption(HMBID_MORE);
    m_lessCaption = ButtonCaption(HMBID_LESS);

    // One size for all buttons, from the widest and tallest caption.
    m_buttonSize = QSize(kMinButtonWidth, kMinButtonHeight);
    for (const ButtonInfo& info : m_buttons) {
        QSize size = extent(info.button->text());
        if (info.id == HMBID_MORE)
            size = extent(m_moreCaption).expandedTo(extent(m_lessCaption));
        m_buttonSize = m_buttonSize.expandedTo(QSize(MulDiv(size.width(), 80, 45), MulDiv(size.height(), 23, 13)));
    }

    m_defaultIndex = static_cast<int>((m_params.style >> 8) & 0xF);
    if (m_defaultIndex >= static_cast<int>(m_buttons.size()))
        m_defaultIndex = 0;
    const bool disabledMode = m_params.disabledSeconds > 0;
    const bool captionMode = disabledMode && m_params.countdownInCaption;
    const bool buttonCountdown = m_params.autoClickSeconds > 0 || (disabledMode && !m_params.countdownInCaption);
    for (int i = 0; i < static_cast<int>(m_buttons.size()); ++i) {
        QPushButton* button = m_buttons[static_cast<std::size_t>(i)].button;
        const bool help = m_buttons[static_cast<std::size_t>(i)].id == IDHELP;
        if (captionMode && !help)
            button->setEnabled(false);
        if (i != m_defaultIndex)
            continue;
        m_defaultCaption = button->text();
        button->setDefault(true);
        button->setFocus(Qt::OtherFocusReason);
        if (buttonCountdown && m_countdown > 0) {
            button->setText(CountdownButtonCaption());
            if (disabledMode && !help) {
                button->setEnabled(false);
                button->setDefault(false);
            }
        }
    }

    if (!m_buttons.empty()) {
        const int n = static_cast<int>(m_buttons.size());
        m_boxWidth = std::max(m_boxWidth, n * (m_buttonSize.width() + kButtonGap) + kButtonGap);
    }
    m_buttonAreaHeight += m_buttonSize.height();
    setFixedSize(m_boxWidth, m_headerHeight + m_messageHeight + m_buttonAreaHeight);
}

QString CHtmlMessageBoxDlg::CountdownButtonCaption() const
{
    return QStringLiteral("%1 = %2").arg(m_defaultCaption).arg(m_countdown);
}

QPushButton* CHtmlMessageBoxDlg::DefaultButton() const
{
    if (m_defaultIndex < 0 || m_defaultIndex >= static_cast<int>(m_buttons.size()))
        return nullptr;
    return m_buttons[static_cast<std::size_t>(m_defaultIndex)].button;
}

void CHtmlMessageBoxDlg::UpdateCloseBox()
{
    const bool captionCounting = m_countdown > 0 && m_params.disabledSeconds > 0 && m_params.countdownInCaption;
    QPushButton* def = DefaultButton();
    const bool cancelWaiting = m_countdown > 0 && m_params.disabledSeconds > 0 && def
        && m_buttons[static_cast<std::size_t>(m_defaultIndex)].id == IDCANCEL;
    m_closeEnabled = m_cancelAllowed && !captionCounting && !cancelWaiting;
    // The close box exists only where Cancel is allowed. Window flags cannot change
    // while the box is shown (that re-creates the window and ends the modal loop), so
    // during a countdown the close box stays but does nothing.
    if (!isVisible())
        setWindowFlag(Qt::WindowCloseButtonHint, m_cancelAllowed);
}

void CHtmlMessageBoxDlg::SetCountdownCaption()
{
    if (m_countdown > 0 && m_params.disabledSeconds > 0 && m_params.countdownInCaption)
        setWindowTitle(FormatCountdown(m_countdownFormat, m_caption, m_countdown));
    else
        setWindowTitle(m_caption);
}

void CHtmlMessageBoxDlg::CentreWindow()
{
    QRect around;
    if (parentWidget())
        around = parentWidget()->window()->frameGeometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        around = screen->geometry();
    if (around.isEmpty())
        return;
    move(around.left() + (around.width() - width()) / 2, around.top() + (around.height() - height()) / 2);
}

void CHtmlMessageBoxDlg::PlaceControls()
{
    const int n = static_cast<int>(m_buttons.size());
    const int clientWidth = m_boxWidth;
    const int clientBottom = m_headerHeight + m_messageHeight + m_buttonAreaHeight;
    const bool checkBelow = m_checkBox && (m_params.style & HMB_CHECKBOXBELOW);
    const int rowWidth = n * (m_buttonSize.width() + kButtonGap) - kButtonGap;
    int top = clientBottom - kButtonAreaMargin - m_buttonSize.height();
    if (checkBelow)
        top -= 24;
    int x = 0;
    switch (m_params.buttonAlign) {
    case 0: x = kButtonAreaMargin; break;
    case 1: x = clientWidth - kButtonAreaMargin - rowWidth; break;
    default: x = (clientWidth - rowWidth) / 2; break;
    }
    for (const ButtonInfo& info : m_buttons) {
        info.button->setGeometry(x + 10, top, m_buttonSize.width() - 10, m_buttonSize.height() - 6);
        x += m_buttonSize.width() + 1;
    }
    if (m_checkBox) {
        int bottom = clientBottom - kButtonAreaMargin;
        if (!checkBelow)
            bottom -= kButtonAreaMargin + m_buttonSize.height();
        const int checkTop = bottom - kCheckBoxSide;
        m_checkBox->setGeometry(kCheckBoxLeft, checkTop, kCheckBoxSide, kCheckBoxSide);
        const QSize label = m_checkLabel->size();
        m_checkLabel->setGeometry(kCheckBoxLeft + kCheckBoxSide + kCheckBoxSide / 2,
                                  checkTop + (kCheckBoxSide - label.height()) / 2, label.width(), label.height());
    }
    m_placed = true;
}

QRect CHtmlMessageBoxDlg::HeaderRect() const { return QRect(0, 0, m_boxWidth, m_headerHeight); }
QRect CHtmlMessageBoxDlg::MessageRect() const { return QRect(0, m_headerHeight, m_boxWidth, m_messageHeight); }
QRect CHtmlMessageBoxDlg::ButtonAreaRect() const
{
    return QRect(0, m_headerHeight + m_messageHeight, m_boxWidth, m_buttonAreaHeight);
}
QRect CHtmlMessageBoxDlg::DetailsRect() const
{
    return QRect(0, m_headerHeight + m_messageHeight + m_buttonAreaHeight, m_boxWidth, m_detailsHeight);
}

void CHtmlMessageBoxDlg::PaintArea(QPainter& painter, const QRect& rect, const HtmlMsgBoxArea& area)
{
    if (area.effect != -1 && rect.height() > 0)
        m_drawManager.FillEffect(painter, area.effect, rect, area.color1, area.color2, area.color3, 0, 0);
}

void CHtmlMessageBoxDlg::PaintSeparator(QPainter& painter, int y, int width, const HtmlMsgBoxArea& area)
{
    if (area.separator == kSeparatorNone)
        return;
    int left = kSeparatorTextGap;
    int right = width - kSeparatorTextGap;
    const auto line = [&](int from, int to) {
        if (to <= from)
            return;
        switch (area.separator) {
        case kSeparatorEtched:
            m_drawManager.DrawLine(painter, from, y, to, y, 0x00A0A0A0, kLineSolid, 1);
            m_drawManager.DrawLine(painter, from, y + 1, to, y + 1, 0x00FFFFFF, kLineSolid, 1);
            break;
        case kSeparatorWhite: m_drawManager.DrawLine(painter, from, y, to, y, 0x00FFFFFF, kLineSolid, 1); break;
        default: m_drawManager.DrawLine(painter, from, y, to, y, 0x00000000, kLineSolid, 1); break;
        }
    };
    if (area.separatorText.isEmpty()) {
        line(left, right);
        return;
    }
    const QFontMetrics metrics(m_messageFont);
    const int textWidth = metrics.horizontalAdvance(area.separatorText);
    int textX = left;
    if (area.separatorAlign == 1)
        textX = right - textWidth;
    else if (area.separatorAlign == 2)
        textX = (width - textWidth) / 2;
    if (area.separatorAlign != 0)
        line(left, textX - kSeparatorTextGap);
    if (area.separatorAlign != 1)
        line(textX + textWidth + kSeparatorTextGap, right);
    // Embossed caption, the look of disabled text: a light copy below right, grey on top.
    const int baseline = y - metrics.height() / 2 + metrics.ascent();
    painter.save();
    painter.setFont(m_messageFont);
    painter.setPen(Qt::white);
    painter.drawText(textX + 1, baseline + 1, area.separatorText);
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.drawText(textX, baseline, area.separatorText);
    painter.restore();
}

void CHtmlMessageBoxDlg::BuildBackground()
{
    const int fullHeight = m_headerHeight + m_messageHeight + m_buttonAreaHeight + m_detailsHeight;
    m_background = QPixmap(std::max(1, m_boxWidth), std::max(1, fullHeight));
    QPainter painter(&m_background);
    const QRect all(0, 0, m_boxWidth, fullHeight);
    if (m_params.messageArea.effect == -1)
        painter.fillRect(all, FromColourRef(kColorBtnFace));
    else
        m_drawManager.FillEffect(painter, m_params.messageArea.effect, all, m_params.messageArea.color1,
                                 m_params.messageArea.color2, m_params.messageArea.color3, 0, 0);
    if (m_headerHeight > 0) {
        PaintArea(painter, HeaderRect(), m_params.headerArea);
        PaintSeparator(painter, m_headerHeight - 2, m_boxWidth, m_params.headerArea);
    }
    PaintArea(painter, ButtonAreaRect(), m_params.buttonArea);
    PaintSeparator(painter, ButtonAreaRect().top(), m_boxWidth, m_params.buttonArea);
    if (m_detailsHeight > 0) {
        PaintArea(painter, DetailsRect(), m_params.moreArea);
        PaintSeparator(painter, DetailsRect().top(), m_boxWidth, m_params.moreArea);
    }
}

void CHtmlMessageBoxDlg::paintEvent(QPaintEvent*)
{
    if (m_background.isNull())
        BuildBackground();
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_background);
    const auto inner = [](const QRect& r) { return r.adjusted(kMarginX, kMarginY, -kMarginX, -kMarginY); };
    if (m_headerHeight > 0)
        m_header.DrawMeasured(painter, inner(HeaderRect()));
    if (m_messageHeight > 0)
        m_message.DrawMeasured(painter, inner(MessageRect()));
    if (m_detailsOpen && m_detailsHeight > 0)
        m_details.DrawMeasured(painter, inner(QRect(0, height() - m_detailsHeight, m_boxWidth, m_detailsHeight)));
}

void CHtmlMessageBoxDlg::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    bool onLink = false;
    if (m_headerHeight > 0)
        onLink = m_header.UpdateHoverAndCursor(point) || onLink;
    if (m_messageHeight > 0)
        onLink = m_message.UpdateHoverAndCursor(point) || onLink;
    if (m_detailsOpen && m_detailsHeight > 0)
        onLink = m_details.UpdateHoverAndCursor(point) || onLink;
    if (onLink)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
    QDialog::mouseMoveEvent(event);
}

void CHtmlMessageBoxDlg::leaveEvent(QEvent* event)
{
    const QPoint outside(-1, -1);
    m_header.UpdateHoverAndCursor(outside);
    m_message.UpdateHoverAndCursor(outside);
    m_details.UpdateHoverAndCursor(outside);
    unsetCursor();
    QDialog::leaveEvent(event);
}

void CHtmlMessageBoxDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const QPoint point = event->position().toPoint();
        if (m_headerHeight > 0)
            m_header.ClickAt(point);
        if (m_messageHeight > 0)
            m_message.ClickAt(point);
        if (m_detailsOpen && m_detailsHeight > 0)
            m_details.ClickAt(point);
    }
    QDialog::mousePressEvent(event);
}

void CHtmlMessageBoxDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (QPushButton* def = DefaultButton(); def && def->isEnabled())
        def->setFocus(Qt::OtherFocusReason);
    if (m_params.style & MB_SETFOREGROUND) {
        raise();
        activateWindow();
    }
}

void CHtmlMessageBoxDlg::reject() { OnCommand(IDCANCEL); }

int CHtmlMessageBoxDlg::RememberedAnswer(const HtmlMsgBoxParams& params)
{
    if (!(params.style & HMB_CHECKBOX) || params.moduleName.isEmpty())
        return 0;
    QSettings settings(QSettings::UserScope, QStringLiteral("TavrinLumiqv1.0"));
    bool ok = false;
    const int value = settings.value(RememberedAnswerPath(params)).toInt(&ok);
    return ok ? value : 0;
}

void CHtmlMessageBoxDlg::RememberAnswer(int result) const
{
    if (m_params.moduleName.isEmpty())
        return;
    QSettings settings(QSettings::UserScope, QStringLiteral("TavrinLumiqv1.0"));
    settings.setValue(RememberedAnswerPath(m_params), result);
}

void CHtmlMessageBoxDlg::OnCommand(int id)
{
    if (id == 0)
        return;
    if (id == IDCANCEL && !m_closeEnabled)
        return;
    if (id == IDHELP) {
        const QString help = HelpDocumentPath();
        if (!help.isEmpty())
            OpenInDesktop(QUrl::fromLocalFile(help));
        return;
    }
    if (id == HMBID_REPORT) {
        if (m_params.parent && m_params.reportMessage != 0) {
            QEvent report(static_cast<QEvent::Type>(m_params.reportMessage));
            QCoreApplication::sendEvent(m_params.parent, &report);
        }
        return;
    }
    if (id == HMBID_MORE || id == HMBID_LESS) {
        m_detailsOpen = !m_detailsOpen;
        const int base = m_headerHeight + m_messageHeight + m_buttonAreaHeight;
        setFixedSize(m_boxWidth, base + (m_detailsOpen ? m_detailsHeight : 0));
        for (const ButtonInfo& info : m_buttons)
            if (info.id == HMBID_MORE)
                info.button->setText(m_detailsOpen ? m_lessCaption : m_moreCaption);
        update();
        return;
    }
    m_timer.stop();
    int result = id;
    if (m_checkBox && m_checkBox->isChecked())
        result |= static_cast<int>(HMB_CHECKBOXCHECKED);
    if (m_checkBox && m_checkBox->isChecked())
        RememberAnswer(result);
    done(result);
}

void CHtmlMessageBoxDlg::OnTimer()
{
    if (m_countdown <= 0) {
        m_timer.stop();
        return;
    }
    --m_countdown;
    const bool disabledMode = m_params.disabledSeconds > 0;
    const bool captionMode = disabledMode && m_params.countdownInCaption;
    QPushButton* def = DefaultButton();
    if (m_countdown > 0) {
        if (captionMode)
            SetCountdownCaption();
        else if (def)
            def->setText(CountdownButtonCaption());
        return;
    }
    m_timer.stop();
    if (!disabledMode) {
        if (def) {
            def->setText(m_defaultCaption);
            OnCommand(m_buttons[static_cast<std::size_t>(m_defaultIndex)].id);
        }
        return;
    }
    UpdateCloseBox();
    if (captionMode) {
        SetCountdownCaption();
        for (const ButtonInfo& info : m_buttons)
            info.button->setEnabled(true);
    } else if (def) {
        def->setText(m_defaultCaption);
    }
    if (def) {
        def->setEnabled(true);
        def->setDefault(true);
        def->setFocus(Qt::OtherFocusReason);
    }
}

QString CHtmlMessageBoxDlg::PlainText() const
{
    QStringList parts{m_caption};
    for (const QString& html : {m_params.headerText, m_params.text})
        if (const QString text = QTextDocumentFragment::fromHtml(html).toPlainText().trimmed(); !text.isEmpty())
            parts << text;
    return parts.join(QStringLiteral("\n\n"));
}

} // namespace tavrin
