#include "controls/LinkLabel.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QTimer>
#include <QUrl>

namespace tavrin::controls {

namespace {

// Result codes of an open, in the numbering the error texts use.
constexpr int OpenedFine = 33;
constexpr int FileNotFound = 2;
constexpr int PathNotFound = 3;
constexpr int NoAssociation = 31;

void ShowWarningBox(QWidget* owner, const QString& message)
{
    // The program's name as the caption; the caption is not left to Qt's display name,
    // which would also be appended to every window title.
    QMessageBox::warning(owner, QStringLiteral("Tavrin Lumiq"), message);
}

bool LooksLikeLocalPath(const QString& target)
{
    return target.startsWith(QLatin1Char('/')) || target.startsWith(QLatin1String("~/"))
        || target.startsWith(QLatin1String("./")) || target.startsWith(QLatin1String("../"));
}

}  // namespace

CLinkLabel::CLinkLabel(const QString& text, const QString& target, QWidget* parent)
    : QLabel(parent)
    , m_target(target)
    , m_hoverTimer(new QTimer(this))
    , m_opener(OpenWithDesktop)
    , m_presenter(ShowWarningBox)
{
    setTextFormat(Qt::PlainText);
    // A static text sits at the top unless told otherwise; fitting keeps that edge.
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QLabel::setText(text);
    if (m_target.isEmpty())
        m_target = text;
    if (text.isEmpty())
        QLabel::setText(m_target);

    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setToolTip(m_target);
    m_hoverTimer->setInterval(HoverCheckMs);
    connect(m_hoverTimer, &QTimer::timeout, this, &CLinkLabel::CheckHover);
    ApplyLook();
    FitWindowToText();
}

void CLinkLabel::SetLinkTarget(const QString& target)
{
    m_target = target;
    if (text().isEmpty())
        QLabel::setText(m_target);
    setToolTip(m_target);
    FitWindowToText();
}

void CLinkLabel::SetUnderlineMode(int mode)
{
    m_underlineMode = mode;
    ApplyLook();
}

void CLinkLabel::MarkVisited(bool visited)
{
    m_visited = visited;
    ApplyLook();
}

void CLinkLabel::SetColours(const QColor& unvisited, const QColor& visited, const QColor& hover)
{
    m_unvisitedColour = unvisited;
    m_visitedColour = visited;
    m_hoverColour = hover;
    ApplyLook();
}

QColor CLinkLabel::CurrentColour() const
{
    if (m_hovering)
        return m_hoverColour;
    return m_visited ? m_visitedColour : m_unvisitedColour;
}

void CLinkLabel::SetFitToText(bool fit)
{
    m_fitToText = fit;
    FitWindowToText();
}

QRect CLinkLabel::FittedRect(const QRect& current, const QSize& measured, Qt::Alignment alignment)
{
    QRect fitted = current;
    if (alignment & Qt::AlignVCenter)
        fitted.setTop(current.top() + (current.height() - measured.height()) / 2);
    fitted.setHeight(measured.height());

    if (alignment & Qt::AlignHCenter)
        fitted.setLeft(current.left() + (current.width() - measured.width()) / 2);
    else if (alignment & Qt::AlignRight)
        fitted.setLeft(current.left() + current.width() - measured.width());
    fitted.setWidth(measured.width());
    return fitted;
}

void CLinkLabel::FitWindowToText()
{
    if (!m_fitToText)
        return;
    // Measured with underlining, so the text never outgrows the window while hovered.
    QFont underlined = font();
    underlined.setUnderline(true);
    const QSize textSize = QFontMetrics(underlined).size(0, text());
    const QMargins margins = contentsMargins();
    const int around = 2 * (frameWidth() + margin());
    const QSize measured(textSize.width() + margins.left() + margins.right() + around,
                         textSize.height() + margins.top() + margins.bottom() + around);
    setGeometry(FittedRect(geometry(), measured, alignment()));
}

void CLinkLabel::ApplyLook()
{
    QPalette look = palette();
    look.setColor(QPalette::WindowText, CurrentColour());
    setPalette(look);

    const bool underline = m_underlineMode == UnderlineAlways
        || (m_underlineMode == UnderlineWhileHovering && m_hovering);
    if (font().underline() != underline) {
        QFont f = font();
        f.setUnderline(underline);
        setFont(f);
    }
    update();
}

void CLinkLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    // A font given after construction changes the text's size; underlining does not,
    // as the fit is always measured with it.
    if (event->type() == QEvent::FontChange)
        FitWindowToText();
}

void CLinkLabel::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_hovering) {
        m_hovering = true;
        ApplyLook();
        m_hoverTimer->start();
    }
    QLabel::mouseMoveEvent(event);
}

void CLinkLabel::leaveEvent(QEvent* event)
{
    // The timer would notice too; leaving is simply known sooner here.
    EndHover();
    QLabel::leaveEvent(event);
}

void CLinkLabel::CheckHover()
{
    if (!rect().contains(mapFromGlobal(QCursor::pos())))
        EndHover();
}

void CLinkLabel::EndHover()
{
    m_hoverTimer->stop();
    if (!m_hovering)
        return;
    m_hovering = false;
    ApplyLook();
}

void CLinkLabel::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton
        && rect().contains(event->position().toPoint());
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        Click();
}

void CLinkLabel::Click()
{
    m_hovering = false;
    ApplyLook();
    const int result = OpenLinkTarget(m_target);
    if (result > 32) {
        MarkVisited(true);
        emit linkOpened(m_target);
    } else {
        QApplication::beep();
        ShowOpenError(result);
    }
}

int CLinkLabel::OpenLinkTarget(const QString& target)
{
    return m_opener(target);
}

void CLinkLabel::ShowOpenError(int code)
{
    m_presenter(this, OpenErrorText(code));
}

void CLinkLabel::SetOpener(Opener opener)
{
    m_opener = opener ? std::move(opener) : Opener(OpenWithDesktop);
}

void CLinkLabel::SetErrorPresenter(ErrorPresenter presenter)
{
    m_presenter = presenter ? std::move(presenter) : ErrorPresenter(ShowWarningBox);
}

QString CLinkLabel::OpenErrorText(int code)
{
    QString reason;
    switch (code) {
    case 0:
        reason = QStringLiteral("The operating system is out\nof memory or resources.");
        break;
    case 2:
        reason = QStringLiteral("The specified file was not found.");
        break;
    case 3:
        reason = QStringLiteral("The specified path was not found.");
        break;
    case 5:
        reason = QStringLiteral("The operating system denied\naccess to the specified file.");
        break;
    case 8:
        reason = QStringLiteral("There was not enough memory to complete the operation.");
        break;
    case 11:
        reason = QStringLiteral("The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
        break;
    case 26:
        reason = QStringLiteral("A sharing violation occurred. ");
        break;
    case 27:
        reason = QStringLiteral("The filename association is\nincomplete or invalid.");
        break;
    case 28:
        reason = QStringLiteral("The DDE transaction could not\nbe completed because the request timed out.");
        break;
    case 29:
        reason = QStringLiteral("The DDE transaction failed.");
        break;
    case 30:
        reason = QStringLiteral(
            "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed.");
        break;
    case 31:
        reason = QStringLiteral("There is no application associated\nwith the given filename extension.");
        break;
    case 32:
        reason = QStringLiteral("The specified dynamic-link library was not found.");
        break;
    default:
        reason = QStringLiteral("Unknown Error (%1) occurred.").arg(code);
        break;
    }
    return QStringLiteral("Unable to open hyperlink:\n\n") + reason;
}

int CLinkLabel::OpenWithDesktop(const QString& target)
{
    if (target.isEmpty())
        return FileNotFound;

    QUrl url;
    if (LooksLikeLocalPath(target)) {
        const QString path = target.startsWith(QLatin1String("~/")) ? QDir::homePath() + target.mid(1) : target;
        const QFileInfo info(path);
        // Say which part is missing instead of handing a dead path to a viewer.
        if (!info.exists())
            return info.absoluteDir().exists() ? FileNotFound : PathNotFound;
        url = QUrl::fromLocalFile(info.absoluteFilePath());
    } else {
        url = QUrl(target, QUrl::StrictMode);
        if (!url.isValid() || url.scheme().isEmpty())
            url = QUrl::fromUserInput(target);
    }
    if (!url.isValid())
        return NoAssociation;

    if (QDesktopServices::openUrl(url))
        return OpenedFine;
    // The desktop refused: hand it to the freedesktop opener directly.
    if (QProcess::startDetached(QStringLiteral("xdg-open"), {url.toString()}))
        return OpenedFine;
    return NoAssociation;
}

} // namespace tavrin::controls
