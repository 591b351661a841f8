#include "controls/KelvarTransparentStatic.h"

#include <QPainter>

namespace tavrin::controls {

CKelvarTransparentStatic::CKelvarTransparentStatic(const QString& text, QWidget* parent)
    : QWidget(parent)
    , m_text(text)
{
    // Nothing of our own behind the text: the parent's picture shows through.
    setAutoFillBackground(false);
    setAttribute(Qt::WA_NoSystemBackground);
}

void CKelvarTransparentStatic::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    // Repaint the parent under the whole label, so a longer old text leaves no trace.
    if (QWidget* parent = parentWidget())
        parent->update(geometry());
    update();
    updateGeometry();
}

QSize CKelvarTransparentStatic::sizeHint() const
{
    return fontMetrics().size(0, m_text);
}

void CKelvarTransparentStatic::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setFont(font());
    p.setPen(Qt::black);
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignTop, m_text);
}

} // namespace tavrin::controls
