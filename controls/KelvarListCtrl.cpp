#include "controls/KelvarListCtrl.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace tavrin::controls {

namespace {

// Item texts lie on white, whatever the background picture behind the rows shows.
class WhiteCellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->backgroundBrush = QBrush(Qt::white);
    }
};

}  // namespace

CKelvarListCtrl::CKelvarListCtrl(QWidget* parent)
    : QTreeWidget(parent)
{
    // A flat report list, not a tree.
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setItemDelegate(new WhiteCellDelegate(this));
    // Hovering must report the cell under the mouse without a button held.
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
}

void CKelvarListCtrl::SetBackgroundPicture(const QImage& picture)
{
    m_background = picture;
    ScaleBackground();
    viewport()->update();
}

int CKelvarListCtrl::SelectionMark() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void CKelvarListCtrl::mousePressEvent(QMouseEvent* event)
{
    QTreeWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const QModelIndex hit = indexAt(event->position().toPoint());
    if (hit.isValid())
        emit previewRequested(hit.row());
}

void CKelvarListCtrl::mouseMoveEvent(QMouseEvent* event)
{
    const QModelIndex hit = indexAt(event->position().toPoint());
    // Over empty list space the status bar keeps what it shows.
    if (!hit.isValid())
        return;
    const QString text = hit.data(Qt::DisplayRole).toString();
    if (!text.isEmpty())
        emit statusTextRequested(text);
    QTreeWidget::mouseMoveEvent(event);
}

void CKelvarListCtrl::keyPressEvent(QKeyEvent* event)
{
    QTreeWidget::keyPressEvent(event);
    const int mark = SelectionMark();
    if (mark >= 0)
        emit previewRequested(mark);
}

void CKelvarListCtrl::keyReleaseEvent(QKeyEvent* event)
{
    QTreeWidget::keyReleaseEvent(event);
    const int mark = SelectionMark();
    if (mark >= 0)
        emit previewRequested(mark);
}

bool CKelvarListCtrl::viewportEvent(QEvent* event)
{
    // The tip of a cell is its full text (long paths are cut off by the column).
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex hit = indexAt(help->pos());
        const QString text = hit.isValid() ? hit.data(Qt::DisplayRole).toString() : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport(), visualRect(hit));
        return true;
    }
    return QTreeWidget::viewportEvent(event);
}

void CKelvarListCtrl::paintEvent(QPaintEvent* event)
{
    if (!m_scaledBackground.isNull()) {
        QPainter p(viewport());
        for (int y = 0; y < viewport()->height(); y += m_scaledBackground.height())
            p.drawImage(0, y, m_scaledBackground);
    }
    QTreeWidget::paintEvent(event);
}

void CKelvarListCtrl::resizeEvent(QResizeEvent* event)
{
    QTreeWidget::resizeEvent(event);
    ScaleBackground();
}

void CKelvarListCtrl::ScaleBackground()
{
    if (m_background.isNull() || width() <= 0 || height() <= 0) {
        m_scaledBackground = QImage();
        return;
    }
    m_scaledBackground = m_background.scaled(width(), height() + 15, Qt::IgnoreAspectRatio,
                                             Qt::SmoothTransformation);
}

} // namespace tavrin::controls
