#include "html/DesktopOpener.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace tavrin;

TEST(DesktopOpenerTest, LinkTargetsBecomeUrls)
{
    struct Case { QString target; QUrl url; };
    const Case cases[] = {
        {QStringLiteral("/tmp/Repaired files"), QUrl::fromLocalFile(QStringLiteral("/tmp/Repaired files"))},
        {QStringLiteral("/tmp/a#b?c"), QUrl::fromLocalFile(QStringLiteral("/tmp/a#b?c"))},
        {QStringLiteral("  /tmp/x  "), QUrl::fromLocalFile(QStringLiteral("/tmp/x"))},
        {QStringLiteral("~/out"), QUrl::fromLocalFile(QDir::homePath() + QStringLiteral("/out"))},
        {QStringLiteral("relative/dir"), QUrl::fromLocalFile(QDir::current().absoluteFilePath(QStringLiteral("relative/dir")))},
        {QStringLiteral("https://example.org/a b"), QUrl(QStringLiteral("https://example.org/a%20b"))},
        {QStringLiteral("mailto:help@example.org"), QUrl(QStringLiteral("mailto:help@example.org"))},
        {QStringLiteral("file:///tmp/x"), QUrl::fromLocalFile(QStringLiteral("/tmp/x"))},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LinkTargetToUrl(c.target), c.url) << c.target.toStdString();
}

TEST(DesktopOpenerTest, ReplacedOpenerSeesTheUrlAndCanBeRestored)
{
    QUrl seen;
    const DesktopOpenFunction previous = SetDesktopOpener([&seen](const QUrl& url) {
        seen = url;
        return false;
    });
    EXPECT_FALSE(OpenInDesktop(QUrl(QStringLiteral("https://example.org"))));
    EXPECT_EQ(seen, QUrl(QStringLiteral("https://example.org")));
    const DesktopOpenFunction mine = SetDesktopOpener(previous);
    EXPECT_TRUE(static_cast<bool>(mine));
}
