#include "controls/PromptEdit.h"

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace tavrin::controls {

CPromptEdit::CPromptEdit(QWidget* parent)
    : QLineEdit(parent)
    , m_prompt(QStringLiteral("<Enter text here>"))
    , m_promptColour(119, 121, 118)
{
    // Dropped text would land inside the prompt; file drops belong to the window.
    setAcceptDrops(false);
    SetEnteredText(m_prompt);
    deselect();
    setCursorPosition(0);
}

void CPromptEdit::SetPromptText(const QString& prompt)
{
    m_prompt = prompt;
    if (m_prompt.isEmpty() && m_promptShowing) {
        // Without a prompt the old one must not stay behind as if it had been typed.
        m_promptShowing = false;
        QLineEdit::setText(QString());
        ApplyTextColour();
        return;
    }
    if (m_promptShowing)
        SetEnteredText(m_prompt);
}

void CPromptEdit::SetPromptColor(const QColor& colour)
{
    m_promptColour = colour;
    ApplyTextColour();
}

void CPromptEdit::SetEnteredText(const QString& text)
{
    setText(text);
}

QString CPromptEdit::GetEnteredText() const
{
    return m_promptShowing ? QString() : QLineEdit::text();
}

void CPromptEdit::setText(const QString& text)
{
    // The prompt cannot be wiped by an empty text: it stays until something is entered.
    if (m_promptShowing && text.isEmpty())
        return;
    // Exact comparison: the prompt text itself keeps the prompt state and its colour.
    if (text != m_prompt)
        m_promptShowing = false;
    QLineEdit::setText(text);
    ApplyTextColour();
}

void CPromptEdit::DismissPrompt()
{
    if (!m_promptShowing)
        return;
    m_promptShowing = false;
    QLineEdit::setText(QString());
    ApplyTextColour();
}

void CPromptEdit::keyPressEvent(QKeyEvent* event)
{
    // Cleared first, so the key that ends the prompt already lands in the empty edit.
    DismissPrompt();
    QLineEdit::keyPressEvent(event);
}

void CPromptEdit::mousePressEvent(QMouseEvent* event)
{
    const Qt::MouseButton button = event->button();
    if (button == Qt::LeftButton || button == Qt::MiddleButton || button == Qt::RightButton)
        DismissPrompt();
    QLineEdit::mousePressEvent(event);
}

void CPromptEdit::inputMethodEvent(QInputMethodEvent* event)
{
    // Text composed through an input method arrives without a key press; it must not
    // be appended to the prompt either.
    if (!event->commitString().isEmpty() || !event->preeditString().isEmpty())
        DismissPrompt();
    QLineEdit::inputMethodEvent(event);
}

void CPromptEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    // Focus alone leaves the prompt; the caret waits after it, nothing selected.
    if (m_promptShowing) {
        deselect();
        setCursorPosition(static_cast<int>(m_prompt.size()));
    }
}

void CPromptEdit::ApplyTextColour()
{
    if (m_promptShowing) {
        if (!m_promptColourApplied) {
            m_hadOwnPalette = testAttribute(Qt::WA_SetPalette);
            m_ownPalette = palette();
        }
        QPalette withPrompt = m_hadOwnPalette ? m_ownPalette : QPalette();
        withPrompt.setColor(QPalette::Active, QPalette::Text, m_promptColour);
        withPrompt.setColor(QPalette::Inactive, QPalette::Text, m_promptColour);
        setPalette(withPrompt);
        m_promptColourApplied = true;
    } else if (m_promptColourApplied) {
        m_promptColourApplied = false;
        setPalette(m_hadOwnPalette ? m_ownPalette : QPalette());
    }
}

} // namespace tavrin::controls
