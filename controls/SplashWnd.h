// A borderless, always-on-top picture shown for a while at start-up. Pixels of one
// chosen colour are cut out of the window's shape. The object deletes itself once
// hidden, so it must live on the heap.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointer>
#include <QPropertyAnimation>
#include <QRegion>
#include <QString>
#include <QWidget>

class QTimer;

namespace tavrin::controls {

class CSplashWnd : public QWidget
{
    Q_OBJECT
public:
    enum StyleFlag : unsigned {
        FadeIn = 0x01,         // 500 ms when shown
        FadeOut = 0x02,        // 200 ms when hidden
        DropShadow = 0x04,     // left to the window manager
        CentreOnScreen = 0x08,
        CentreOnParent = 0x10,
        HideOnInput = 0x20,    // first key or mouse button press hides it
    };

    CSplashWnd();

    // `timeToShow` in milliseconds; 0 keeps the splash until Hide().
    bool Create(QWidget* parent, const QString& text, int timeToShow, unsigned styleFlags);

    // Takes the picture and fixes size and position. Unless one of red, green, blue is
    // -1, every pixel of exactly that colour is cut out of the window. False for a null
    // picture: the window then keeps zero size.
    bool SetBitmap(const QImage& picture, int red, int green, int blue);

    void Show();
    // Fades out if asked to, then the window goes and the object deletes itself.
    void Hide();

    QPoint Position() const { return m_position; }
    QString Text() const { return m_text; }
    unsigned StyleFlags() const { return m_flags; }

    // The shape left when every pixel of `transparent` colour (exact match on red,
    // green and blue) is taken out, built row by row from runs of kept pixels.
    static QRegion RegionFromPicture(const QImage& picture, QColor transparent);

protected:
    ~CSplashWnd() override;  // heap only: deletes itself
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Finish();

    QPointer<QWidget> m_parent;
    QImage m_picture;
    QFont m_font;
    unsigned m_flags = 0;
    int m_timeToShow = 2000;
    QString m_text;
    QRect m_textRect;
    int m_textFormat = 0;
    QColor m_textColour = Qt::black;
    QPoint m_position;
    QTimer* m_timer = nullptr;
    QPointer<QPropertyAnimation> m_fade;
    bool m_hiding = false;
};

} // namespace tavrin::controls
