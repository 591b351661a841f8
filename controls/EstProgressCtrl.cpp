#include "controls/EstProgressCtrl.h"

#include <QImage>
#include <QPainter>
#include <QTime>

#include <algorithm>
#include <cmath>

namespace tavrin::controls {

namespace {

QDateTime SystemClockToTheSecond()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.addMSecs(-now.time().msec());
}

}  // namespace

CEstProgressCtrl::CEstProgressCtrl(QWidget* parent)
    : QWidget(parent)
    , m_clock(SystemClockToTheSecond)
{
    // Every pixel is painted from the off-screen image; nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    ResetEstimate();
}

void CEstProgressCtrl::SetRange(int lower, int upper)
{
    ResetEstimate();
    m_lower = lower;
    m_upper = std::max(lower, upper);
    m_position = std::clamp(m_position, m_lower, m_upper);
    update();
}

void CEstProgressCtrl::ResetEstimate()
{
    m_estimate.Reset();
}

QString CEstProgressCtrl::GetEstimateText() const
{
    return m_estimate.Text(QLocale());
}

void CEstProgressCtrl::SetClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(SystemClockToTheSecond);
}

void CEstProgressCtrl::setValue(int position)
{
    position = std::clamp(position, m_lower, m_upper);
    if (position == m_position)
        return;
    m_position = position;
    update();
}

QSize CEstProgressCtrl::sizeHint() const
{
    return {200, fontMetrics().height() + 6};
}

QSize CEstProgressCtrl::minimumSizeHint() const
{
    return {20, fontMetrics().height() + 2};
}

void CEstProgressCtrl::RefreshEstimate()
{
    const double fraction = FractionDone(m_position, m_upper);
    if (std::isnan(fraction))
        return;
    m_estimate.Update(fraction, m_clock());
}

void CEstProgressCtrl::paintEvent(QPaintEvent*)
{
    const QColor background = palette().color(QPalette::Button);
    const QColor bar = palette().color(QPalette::Highlight);

    // The estimate follows what is painted: the first painted step starts the clock.
    RefreshEstimate();
    const double fraction = FractionDone(m_position, m_upper);

    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (pixels.isEmpty())
        return;

    QImage surface(pixels, QImage::Format_RGB32);
    surface.setDevicePixelRatio(ratio);
    surface.fill(background);
    {
        QPainter p(&surface);
        p.fillRect(QRect(0, 0, FilledWidth(width(), fraction), height()), bar);
    }

    const QString text = GetEstimateText();
    if (!text.isEmpty()) {
        // Text drawn in the complement of the bar colour on black, then combined by
        // exclusive-or: white over the bar, a contrasting colour over the background,
        // and untouched pixels wherever there is no text.
        QImage overlay(pixels, QImage::Format_RGB32);
        overlay.setDevicePixelRatio(ratio);
        overlay.fill(Qt::black);
        {
            // Without anti-aliasing: a partly covered pixel would combine into a stray
            // colour of neither kind, and small text over the bar turns unreadable.
            QFont crisp = font();
            crisp.setStyleStrategy(QFont::NoAntialias);
            QPainter p(&overlay);
            p.setRenderHint(QPainter::TextAntialiasing, false);
            p.setFont(crisp);
            p.setPen(QColor::fromRgb(~bar.rgb() & 0xFFFFFFu));
            p.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text);
        }
        for (int y = 0; y < surface.height(); ++y) {
            auto* target = reinterpret_cast<QRgb*>(surface.scanLine(y));
            const auto* source = reinterpret_cast<const QRgb*>(overlay.constScanLine(y));
            for (int x = 0; x < surface.width(); ++x)
                target[x] = 0xFF000000u | ((target[x] ^ source[x]) & 0x00FFFFFFu);
        }
    }

    QPainter screen(this);
    screen.drawImage(0, 0, surface);
}

} // namespace tavrin::controls
