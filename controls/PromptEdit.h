// A single-line edit that shows a grey prompt while the user has entered nothing.
//
// Unlike a placeholder, the prompt is the edit's real content while it shows, but
// the control reports an empty text to everybody who asks, so the prompt is never
// taken for input. The first key or mouse button press clears it; focus alone does
// not. Once gone it only comes back through SetPromptText before anything was entered.
#pragma once

#include <QColor>
#include <QLineEdit>
#include <QPalette>
#include <QString>

namespace tavrin::controls {

class CPromptEdit : public QLineEdit
{
    Q_OBJECT
    // Reading the text through the property system gets the filtered text as well.
    Q_PROPERTY(QString text READ text WRITE setText USER true)
public:
    explicit CPromptEdit(QWidget* parent = nullptr);

    // An empty prompt ends the prompt state; otherwise a showing prompt is replaced.
    void SetPromptText(const QString& prompt);
    QString PromptText() const { return m_prompt; }

    void SetPromptColor(const QColor& colour);
    QColor PromptColor() const { return m_promptColour; }

    // Empty text while the prompt shows is ignored; text other than the prompt ends it.
    void SetEnteredText(const QString& text);
    // Empty while the prompt shows.
    QString GetEnteredText() const;

    bool IsPromptShowing() const { return m_promptShowing; }

    // The ordinary text calls follow the same rules as the two above. They hide the
    // QLineEdit ones, so callers that hold a CPromptEdit get the filtered text.
    QString text() const { return GetEnteredText(); }

    // What is on screen, prompt included.
    QString DisplayedText() const { return QLineEdit::text(); }

public slots:
    // An empty text while the prompt shows is refused and changes nothing.
    void setText(const QString& text);
    void clear() { setText(QString()); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    void DismissPrompt();
    void ApplyTextColour();

    bool m_promptShowing = true;
    QString m_prompt;
    QColor m_promptColour;
    // The palette to go back to once the prompt colour is no longer wanted.
    bool m_promptColourApplied = false;
    bool m_hadOwnPalette = false;
    QPalette m_ownPalette;
};

} // namespace tavrin::controls
