// The prompt edit: a visible prompt that nobody can read back as input.
#include "controls/PromptEdit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMetaProperty>
#include <QMouseEvent>

using namespace tavrin::controls;

namespace {

const QString kPrompt = QStringLiteral("<Enter text here>");
const QColor kPromptGrey(119, 121, 118);

bool ShowsPrompt(const CPromptEdit& edit)
{
    return edit.IsPromptShowing() && edit.DisplayedText() == edit.PromptText();
}

void Type(CPromptEdit& edit, int key, const QString& text = QString(), Qt::KeyboardModifiers modifiers = {})
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(&edit, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(&edit, &release);
}

void Click(CPromptEdit& edit, Qt::MouseButton button)
{
    const QPoint at(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, at, edit.mapToGlobal(at), button, button, Qt::NoModifier);
    QApplication::sendEvent(&edit, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, edit.mapToGlobal(at), button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&edit, &release);
}

TEST(PromptEdit, FreshEditShowsThePromptButReportsNothing)
{
    CPromptEdit edit;
    EXPECT_EQ(edit.DisplayedText(), kPrompt);
    EXPECT_TRUE(edit.GetEnteredText().isEmpty());
    EXPECT_TRUE(edit.text().isEmpty());
    // Also through the property system, even for code that only knows a QLineEdit.
    const QLineEdit* plain = &edit;
    EXPECT_TRUE(plain->property("text").toString().isEmpty());
    EXPECT_TRUE(plain->metaObject()->userProperty().read(plain).toString().isEmpty());
    EXPECT_EQ(edit.palette().color(QPalette::Text), kPromptGrey);
}

TEST(PromptEdit, SettingTexts)
{
    struct Case
    {
        const char* name;
        const char* set;
        bool promptAfter;
        const char* enteredAfter;
        const char* shownAfter;
    };
    for (const Case& c : {
             // An empty text cannot wipe the prompt.
             Case{"empty", "", true, "", "<Enter text here>"},
             // The prompt itself keeps the prompt state.
             Case{"the prompt", "<Enter text here>", true, "", "<Enter text here>"},
             // Exact comparison: another spelling is input.
             Case{"other case", "<enter text here>", false, "<enter text here>", "<enter text here>"},
             Case{"a path", "/home/ann/repaired", false, "/home/ann/repaired", "/home/ann/repaired"},
         }) {
        for (bool throughSetText : {false, true}) {
            CPromptEdit edit;
            if (throughSetText)
                edit.setText(QString::fromLatin1(c.set));
            else
                edit.SetEnteredText(QString::fromLatin1(c.set));
            const char* how = throughSetText ? " via setText" : " via SetEnteredText";
            EXPECT_EQ(edit.IsPromptShowing(), c.promptAfter) << c.name << how;
            EXPECT_EQ(edit.GetEnteredText().toStdString(), c.enteredAfter) << c.name << how;
            EXPECT_EQ(edit.text().toStdString(), c.enteredAfter) << c.name << how;
            EXPECT_EQ(edit.DisplayedText().toStdString(), c.shownAfter) << c.name << how;
            EXPECT_EQ(edit.palette().color(QPalette::Text) == kPromptGrey, c.promptAfter) << c.name << how;
        }
    }
}

TEST(PromptEdit, EmptyTextErasesOnlyWhatWasEntered)
{
    CPromptEdit edit;
    edit.SetEnteredText(QStringLiteral("/srv/out"));
    edit.SetEnteredText(QString());
    EXPECT_TRUE(edit.DisplayedText().isEmpty());
    EXPECT_FALSE(edit.IsPromptShowing()) << "the prompt does not come back";
    edit.clear();
    EXPECT_TRUE(edit.DisplayedText().isEmpty());
}

TEST(PromptEdit, FirstKeyClearsThePromptAndLandsInTheEmptyEdit)
{
    struct Case { int key; const char* text; const char* after; };
    for (const Case& c : {Case{Qt::Key_A, "a", "a"}, Case{Qt::Key_Slash, "/", "/"},
                          // Any key ends the prompt, even one that types nothing.
                          Case{Qt::Key_Shift, "", ""}, Case{Qt::Key_End, "", ""}}) {
        CPromptEdit edit;
        Type(edit, c.key, QString::fromLatin1(c.text));
        EXPECT_FALSE(edit.IsPromptShowing()) << c.key;
        EXPECT_EQ(edit.DisplayedText().toStdString(), c.after) << c.key;
        EXPECT_EQ(edit.GetEnteredText().toStdString(), c.after) << c.key;
        EXPECT_NE(edit.palette().color(QPalette::Text), kPromptGrey) << c.key;
    }
}

TEST(PromptEdit, TextFromAnInputMethodReplacesThePrompt)
{
    CPromptEdit edit;
    QInputMethodEvent composing(QStringLiteral("ü"), {});
    QApplication::sendEvent(&edit, &composing);
    EXPECT_FALSE(edit.IsPromptShowing());
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("über"));
    QApplication::sendEvent(&edit, &commit);
    EXPECT_EQ(edit.GetEnteredText(), QStringLiteral("über"));
    EXPECT_EQ(edit.DisplayedText(), QStringLiteral("über"));
}

TEST(PromptEdit, AnyMouseButtonClearsThePromptAtOnce)
{
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton, Qt::RightButton}) {
        CPromptEdit edit;
        edit.setContextMenuPolicy(Qt::NoContextMenu);
        edit.resize(200, 24);
        Click(edit, button);
        EXPECT_FALSE(edit.IsPromptShowing()) << button;
        EXPECT_TRUE(edit.DisplayedText().isEmpty()) << button;
    }
}

TEST(PromptEdit, FocusAloneKeepsThePromptWithTheCaretAfterIt)
{
    for (Qt::FocusReason reason : {Qt::TabFocusReason, Qt::OtherFocusReason, Qt::ShortcutFocusReason}) {
        CPromptEdit edit;
        QFocusEvent focus(QEvent::FocusIn, reason);
        QApplication::sendEvent(&edit, &focus);
        EXPECT_TRUE(ShowsPrompt(edit)) << reason;
        EXPECT_FALSE(edit.hasSelectedText()) << reason;
        EXPECT_EQ(edit.cursorPosition(), kPrompt.size()) << reason;
        EXPECT_TRUE(edit.GetEnteredText().isEmpty()) << reason;
    }
}

TEST(PromptEdit, TypedThenErasedLeavesAnEmptyEditWithoutPrompt)
{
    CPromptEdit edit;
    Type(edit, Qt::Key_X, QStringLiteral("x"));
    Type(edit, Qt::Key_Backspace);
    EXPECT_TRUE(edit.DisplayedText().isEmpty());
    EXPECT_TRUE(edit.GetEnteredText().isEmpty());
    EXPECT_FALSE(edit.IsPromptShowing());
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&edit, &out);
    EXPECT_TRUE(edit.DisplayedText().isEmpty()) << "losing the focus brings no prompt back";
}

TEST(PromptEdit, UndoAfterTheFirstKeyDoesNotRestoreThePromptAsInput)
{
    CPromptEdit edit;
    Type(edit, Qt::Key_Q, QStringLiteral("q"));
    Type(edit, Qt::Key_Z, QString(), Qt::ControlModifier);
    Type(edit, Qt::Key_Z, QString(), Qt::ControlModifier);
    EXPECT_NE(edit.GetEnteredText(), kPrompt);
}

TEST(PromptEdit, PromptTextAndColourChanges)
{
    const QString destination = QStringLiteral("<Please enter valid path to save repaired Base file(s)> ");
    CPromptEdit edit;
    edit.SetPromptText(destination);
    edit.SetPromptColor(QColor(158, 158, 158));
    EXPECT_EQ(edit.DisplayedText(), destination);
    EXPECT_TRUE(edit.GetEnteredText().isEmpty());
    EXPECT_EQ(edit.palette().color(QPalette::Text), QColor(158, 158, 158));
    // The old prompt is ordinary text now; only the new one counts as the prompt.
    edit.SetEnteredText(kPrompt);
    EXPECT_EQ(edit.GetEnteredText(), kPrompt);

    // Once something was entered, a new prompt text does not show.
    edit.SetPromptText(QStringLiteral("<Another>"));
    EXPECT_EQ(edit.DisplayedText(), kPrompt);
    EXPECT_FALSE(edit.IsPromptShowing());
}

TEST(PromptEdit, EmptyPromptLeavesNothingBehindThatLooksEntered)
{
    CPromptEdit edit;
    edit.SetPromptText(QString());
    EXPECT_FALSE(edit.IsPromptShowing());
    EXPECT_TRUE(edit.DisplayedText().isEmpty());
    EXPECT_TRUE(edit.GetEnteredText().isEmpty());
}

TEST(PromptEdit, NormalTextColourReturnsAfterThePrompt)
{
    QWidget parent;
    QPalette colours = parent.palette();
    colours.setColor(QPalette::Text, QColor(10, 20, 30));
    parent.setPalette(colours);
    auto* edit = new CPromptEdit(&parent);
    EXPECT_EQ(edit->palette().color(QPalette::Text), kPromptGrey);
    edit->SetEnteredText(QStringLiteral("/srv"));
    EXPECT_EQ(edit->palette().color(QPalette::Text), QColor(10, 20, 30));
}

}  // namespace
