// The Job list: a report-style list that tells its parent which item the user
// reached, by mouse or keyboard, so the preview can follow at once.
#pragma once

#include <QImage>
#include <QTreeWidget>

namespace tavrin::controls {

class CKelvarListCtrl : public QTreeWidget
{
    Q_OBJECT
public:
    explicit CKelvarListCtrl(QWidget* parent = nullptr);

    // Drawn behind the items, stretched to the list's width and its height plus 15
    // pixels on every resize. A null image removes it.
    void SetBackgroundPicture(const QImage& picture);

    // Index of the item that keyboard work applies to, or -1 (the current item).
    int SelectionMark() const;

signals:
    // Emitted synchronously after a left press on an item (its index) and after every key
    // press or release while there is a selection mark (the mark). A key stroke thus
    // asks twice for the same item; a press below the last item asks for nothing.
    void previewRequested(int index);

    // The text of the cell under the mouse, for the main window's status bar.
    void statusTextRequested(const QString& text);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ScaleBackground();

    QImage m_background;
    QImage m_scaledBackground;
};

} // namespace tavrin::controls
