// A text that works as a hyperlink: link colours, underline while hovered (or
// always), the target as tooltip, a pointing hand, and a click that opens the target
// through the desktop. A failed open beeps and says why.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>

#include <functional>

class QTimer;

namespace tavrin::controls {

class CLinkLabel : public QLabel
{
    Q_OBJECT
public:
    enum UnderlineMode { UnderlineWhileHovering = -1, UnderlineNever = 0, UnderlineAlways = 1 };

    // Opens a target; returns a result code where a value above 32 means success and
    // lower values are the failure codes that OpenErrorText knows.
    using Opener = std::function<int(const QString& target)>;
    // Shows the failure message (a plain warning box by default).
    using ErrorPresenter = std::function<void(QWidget* owner, const QString& message)>;

    // An empty target takes the text; an empty text shows the target.
    explicit CLinkLabel(const QString& text = QString(), const QString& target = QString(),
                        QWidget* parent = nullptr);

    void SetLinkTarget(const QString& target);
    QString LinkTarget() const { return m_target; }

    void SetUnderlineMode(int mode);
    int GetUnderlineMode() const { return m_underlineMode; }

    void MarkVisited(bool visited);
    bool IsVisited() const { return m_visited; }
    bool IsHovering() const { return m_hovering; }

    void SetColours(const QColor& unvisited, const QColor& visited, const QColor& hover);
    // The colour the text is drawn in now.
    QColor CurrentColour() const;

    // Resize the window to its text on every change of text or target (on by default).
    void SetFitToText(bool fit);
    void FitWindowToText();

    // Opens through the opener seam; > 32 means success.
    int OpenLinkTarget(const QString& target);
    void ShowOpenError(int code);

    // "Unable to open hyperlink:\n\n" and the text for the code.
    static QString OpenErrorText(int code);
    // The desktop's way to open a target: the default opener.
    static int OpenWithDesktop(const QString& target);

    // Tests and embedders replace how targets open and how failures show; an empty
    // function restores the default.
    void SetOpener(Opener opener);
    void SetErrorPresenter(ErrorPresenter presenter);

    // The new window rectangle when a window at `current` is fitted to `measured`,
    // keeping the side or centre that the alignment names.
    static QRect FittedRect(const QRect& current, const QSize& measured, Qt::Alignment alignment);

    static constexpr int HoverCheckMs = 200;

signals:
    void linkOpened(const QString& target);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void CheckHover();
    void EndHover();
    void Click();
    void ApplyLook();

    QColor m_unvisitedColour{0, 0, 238};
    QColor m_visitedColour{85, 26, 139};
    QColor m_hoverColour{255, 0, 0};
    bool m_hovering = false;
    bool m_visited = false;
    int m_underlineMode = UnderlineWhileHovering;
    bool m_fitToText = true;
    bool m_pressed = false;
    QString m_target;
    QTimer* m_hoverTimer = nullptr;
    Opener m_opener;
    ErrorPresenter m_presenter;
};

} // namespace tavrin::controls
