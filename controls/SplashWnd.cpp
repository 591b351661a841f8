#include "controls/SplashWnd.h"

#include <QApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>

#include <vector>

namespace tavrin::controls {

namespace {

constexpr int FadeInMs = 500;
constexpr int FadeOutMs = 200;

}  // namespace

CSplashWnd::CSplashWnd()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_font(QApplication::font())
    , m_textFormat(Qt::AlignCenter | Qt::TextWordWrap)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CSplashWnd::~CSplashWnd() = default;

bool CSplashWnd::Create(QWidget* parent, const QString& text, int timeToShow, unsigned styleFlags)
{
    m_parent = parent;
    m_text = text;
    m_timeToShow = timeToShow;
    m_flags = styleFlags;
    // Owned by the parent so it stays above it, but a window of its own.
    setParent(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    resize(0, 0);
    return true;
}

QRegion CSplashWnd::RegionFromPicture(const QImage& picture, QColor transparent)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb cut = transparent.rgb() & 0x00FFFFFFu;
    std::vector<QRect> runs;
    runs.reserve(static_cast<std::size_t>(image.height()) * 2);
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int x = 0;
        while (x < image.width()) {
            while (x < image.width() && (row[x] & 0x00FFFFFFu) == cut)
                ++x;
            const int first = x;
            while (x < image.width() && (row[x] & 0x00FFFFFFu) != cut)
                ++x;
            if (x > first)
                runs.emplace_back(first, y, x - first, 1);
        }
    }
    QRegion region;
    // One-pixel rows, left to right, top to bottom: already in the banded order.
    if (!runs.empty())
        region.setRects(runs.data(), static_cast<int>(runs.size()));
    return region;
}

bool CSplashWnd::SetBitmap(const QImage& picture, int red, int green, int blue)
{
    m_picture = QImage();
    if (picture.isNull())
        return false;
    m_picture = picture;
    const QSize size = picture.size();
    m_textRect = QRect(QPoint(0, 0), size);

    if (m_flags & CentreOnScreen) {
        QScreen* screen = m_parent ? m_parent->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            m_position = QPoint(area.x() + (area.width() - size.width()) / 2,
                                area.y() + (area.height() - size.height()) / 2);
        }
    } else if ((m_flags & CentreOnParent) && m_parent) {
        const QRect area = m_parent->frameGeometry();
        m_position = QPoint(area.x() + (area.width() - size.width()) / 2,
                            area.y() + (area.height() - size.height()) / 2);
    }

    if (red != -1 && green != -1 && blue != -1)
        setMask(RegionFromPicture(picture, QColor(red, green, blue)));
    else
        clearMask();
    return true;
}

void CSplashWnd::Show()
{
    // Without a picture there is nothing to show; the window keeps zero size.
    if (m_picture.isNull())
        return;
    setGeometry(QRect(m_position, m_picture.size()));
    if (m_flags & FadeIn) {
        setWindowOpacity(0.0);
        show();
        m_fade = new QPropertyAnimation(this, "windowOpacity", this);
        m_fade->setDuration(FadeInMs);
        m_fade->setStartValue(0.0);
        m_fade->setEndValue(1.0);
        m_fade->start(QAbstractAnimation::DeleteWhenStopped);
    } else {
        show();
    }
    if (m_timeToShow != 0) {
        m_timer = new QTimer(this);
        m_timer->setSingleShot(true);
        connect(m_timer, &QTimer::timeout, this, &CSplashWnd::Hide);
        m_timer->start(m_timeToShow);
    }
}

void CSplashWnd::Hide()
{
    // The timer may run out while a key press already started the way out.
    if (m_hiding)
        return;
    m_hiding = true;
    if (m_timer)
        m_timer->stop();
    if (m_fade)
        m_fade->stop();
    if ((m_flags & FadeOut) && isVisible()) {
        auto* fade = new QPropertyAnimation(this, "windowOpacity", this);
        fade->setDuration(FadeOutMs);
        fade->setStartValue(windowOpacity());
        fade->setEndValue(0.0);
        connect(fade, &QPropertyAnimation::finished, this, &CSplashWnd::Finish);
        fade->start(QAbstractAnimation::DeleteWhenStopped);
    } else {
        Finish();
    }
}

void CSplashWnd::Finish()
{
    hide();
    deleteLater();
}

bool CSplashWnd::event(QEvent* event)
{
    if (m_flags & HideOnInput) {
        switch (event->type()) {
        case QEvent::KeyPress:
            Hide();
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::NonClientAreaMouseButtonPress: {
            const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
            if (button == Qt::LeftButton || button == Qt::RightButton || button == Qt::MiddleButton) {
                Hide();
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    return QWidget::event(event);
}

void CSplashWnd::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(0, 0, m_picture);
    if (m_text.isEmpty())
        return;
    p.setFont(m_font);
    p.setPen(m_textColour);
    p.drawText(m_textRect, m_textFormat, m_text);
}

} // namespace tavrin::controls
