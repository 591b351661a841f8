// The link label: its looks while hovered and visited, and what a failed open says.
#include "controls/LinkLabel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <vector>

using namespace tavrin::controls;

namespace {

const QColor kUnvisited(0, 0, 238);
const QColor kVisited(85, 26, 139);
const QColor kHover(255, 0, 0);

void MoveOver(QWidget& w)
{
    const QPointF at(2, 2);
    QMouseEvent move(QEvent::MouseMove, at, w.mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &move);
}

void Leave(QWidget& w)
{
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&w, &leave);
}

void ClickOn(QWidget& w)
{
    const QPointF at(2, 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, w.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w.mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&w, &release);
}

QColor TextColour(const CLinkLabel& link)
{
    return link.palette().color(QPalette::WindowText);
}

TEST(LinkLabel, OpenErrorTexts)
{
    struct Case { int code; const char* reason; };
    for (const Case& c : {
             Case{0, "The operating system is out\nof memory or resources."},
             Case{2, "The specified file was not found."},
             Case{3, "The specified path was not found."},
             Case{5, "The operating system denied\naccess to the specified file."},
             Case{8, "There was not enough memory to complete the operation."},
             Case{11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
             Case{26, "A sharing violation occurred. "},
             Case{27, "The filename association is\nincomplete or invalid."},
             Case{28, "The DDE transaction could not\nbe completed because the request timed out."},
             Case{29, "The DDE transaction failed."},
             Case{30, "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed."},
             Case{31, "There is no application associated\nwith the given filename extension."},
             Case{32, "The specified dynamic-link library was not found."},
             Case{1, "Unknown Error (1) occurred."},
             Case{4, "Unknown Error (4) occurred."},
             Case{-7, "Unknown Error (-7) occurred."},
         }) {
        EXPECT_EQ(CLinkLabel::OpenErrorText(c.code).toStdString(),
                  std::string("Unable to open hyperlink:\n\n") + c.reason) << c.code;
    }
}

class LinkLabelClickTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        link.resize(200, 20);
        link.SetOpener([this](const QString& target) {
            opened.push_back(target);
            return openResult;
        });
        link.SetErrorPresenter([this](QWidget* owner, const QString& message) {
            EXPECT_EQ(owner, &link);
            messages.push_back(message);
        });
    }

    CLinkLabel link{QStringLiteral("support@tavrin.example"), QStringLiteral("mailto:support@tavrin.example")};
    int openResult = 42;
    std::vector<QString> opened;
    std::vector<QString> messages;
};

TEST_F(LinkLabelClickTest, SuccessfulOpenMarksTheLinkVisited)
{
    MoveOver(link);
    ClickOn(link);
    EXPECT_EQ(opened, std::vector<QString>{"mailto:support@tavrin.example"});
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(link.IsVisited());
    EXPECT_FALSE(link.IsHovering());
    EXPECT_EQ(TextColour(link), kVisited);
}

TEST_F(LinkLabelClickTest, FailedOpenSaysWhyAndStaysUnvisited)
{
    for (int code : {2, 31, 32, 0, 1}) {
        opened.clear();
        messages.clear();
        openResult = code;
        ClickOn(link);
        ASSERT_EQ(opened.size(), 1u) << code;
        ASSERT_EQ(messages.size(), 1u) << code;
        EXPECT_EQ(messages.front(), CLinkLabel::OpenErrorText(code));
        EXPECT_FALSE(link.IsVisited()) << code;
        EXPECT_EQ(TextColour(link), kUnvisited) << code;
    }
}

TEST_F(LinkLabelClickTest, PressOutsideOrAnotherButtonOpensNothing)
{
    QMouseEvent right(QEvent::MouseButtonPress, QPointF(2, 2), link.mapToGlobal(QPointF(2, 2)), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(&link, &right);
    QMouseEvent rightUp(QEvent::MouseButtonRelease, QPointF(2, 2), link.mapToGlobal(QPointF(2, 2)), Qt::RightButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&link, &rightUp);

    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), link.mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&link, &press);
    const QPointF away(500, 500);
    QMouseEvent releaseAway(QEvent::MouseButtonRelease, away, link.mapToGlobal(away), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
    QApplication::sendEvent(&link, &releaseAway);
    EXPECT_TRUE(opened.empty());
}

// The desktop opener itself names what is missing for local paths, without starting anything.
TEST(LinkLabel, DesktopOpenerNamesAMissingFileOrFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_EQ(CLinkLabel::OpenWithDesktop(dir.filePath("Tavrin for Lumiq.html")), 2);
    EXPECT_EQ(CLinkLabel::OpenWithDesktop(dir.filePath("no-such-folder/help.html")), 3);
    EXPECT_EQ(CLinkLabel::OpenWithDesktop(QString()), 2);
}

TEST(LinkLabel, TextAndTargetFillEachOther)
{
    CLinkLabel noText(QString(), QStringLiteral("https://tavrin.example/"));
    EXPECT_EQ(noText.text(), "https://tavrin.example/");
    EXPECT_EQ(noText.toolTip(), "https://tavrin.example/");

    CLinkLabel noTarget(QStringLiteral("https://tavrin.example/lumiq"));
    EXPECT_EQ(noTarget.LinkTarget(), "https://tavrin.example/lumiq");

    CLinkLabel later;
    later.SetLinkTarget(QStringLiteral("mailto:sales@tavrin.example"));
    EXPECT_EQ(later.text(), "mailto:sales@tavrin.example");
    EXPECT_EQ(later.toolTip(), "mailto:sales@tavrin.example");
    EXPECT_EQ(later.cursor().shape(), Qt::PointingHandCursor);
}

TEST(LinkLabel, UnderlineAndColourWhileHoveringAndAfter)
{
    struct Case { int mode; bool before; bool hovering; bool after; };
    for (const Case& c : {Case{CLinkLabel::UnderlineWhileHovering, false, true, false},
                          Case{CLinkLabel::UnderlineNever, false, false, false},
                          Case{CLinkLabel::UnderlineAlways, true, true, true}}) {
        CLinkLabel link(QStringLiteral("tavrin.example"), QStringLiteral("https://tavrin.example/"));
        link.resize(150, 20);
        link.SetUnderlineMode(c.mode);
        EXPECT_EQ(link.font().underline(), c.before) << c.mode;
        EXPECT_EQ(TextColour(link), kUnvisited);
        MoveOver(link);
        EXPECT_TRUE(link.IsHovering());
        EXPECT_EQ(link.font().underline(), c.hovering) << c.mode;
        EXPECT_EQ(TextColour(link), kHover);
        Leave(link);
        EXPECT_FALSE(link.IsHovering());
        EXPECT_EQ(link.font().underline(), c.after) << c.mode;
        EXPECT_EQ(TextColour(link), kUnvisited);
    }
}

TEST(LinkLabel, FittingKeepsTheAlignedSide)
{
    const QRect window(100, 50, 200, 40);
    const QSize text(80, 16);
    struct Case { Qt::Alignment alignment; QRect expected; };
    for (const Case& c : {Case{Qt::AlignLeft | Qt::AlignTop, {100, 50, 80, 16}},
                          Case{Qt::AlignRight | Qt::AlignTop, {220, 50, 80, 16}},
                          Case{Qt::AlignHCenter | Qt::AlignTop, {160, 50, 80, 16}},
                          Case{Qt::AlignLeft | Qt::AlignVCenter, {100, 62, 80, 16}},
                          Case{Qt::AlignCenter, {160, 62, 80, 16}}}) {
        EXPECT_EQ(CLinkLabel::FittedRect(window, text, c.alignment), c.expected) << int(c.alignment);
    }
}

}  // namespace
