#include "engine/UnreadableNames.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "TestPackages.h"

namespace tavrin {
namespace {

using namespace test;

TEST(UnreadableNames, ReadableNameEscapesOnlyWhatXmlOrUtf8CannotCarry)
{
    const struct {
        const char* label;
        std::string name;
        std::string readable;
    } cases[] = {
        {"plain", "content.xml", "content.xml"},
        {"UTF-8 kept, '%' too", "caf\xC3\xA9 100%.png", "caf\xC3\xA9 100%.png"},
        {"a Latin-1 byte", "caf\xE9.png", "caf%E9.png"},
        {"'%' escaped once the name changes", "50%\x01.txt", "50%25%01.txt"},
        {"tab and line break", "a\tb\r\n", "a%09b%0D%0A"},
        {"C1 control as UTF-8", "x\xC2\x85y", "x%C2%85y"},
        {"overlong slash", "a\xC0\xAF" "b", "a%C0%AFb"},
        {"surrogate", "\xED\xA0\x80", "%ED%A0%80"},
        {"U+FFFF is no XML character", "z\xEF\xBF\xBF", "z%EF%BF%BF"},
        {"cut sequence at the end", "ok\xE2\x82", "ok%E2%82"},
    };
    for (const auto& test : cases)
        EXPECT_EQ(ReadableName(test.name), test.readable) << test.label;

    // Three bytes for every one: kept short of the 255 bytes a file name may hold.
    const std::string readable = ReadableName(std::string(200, '\x01'));
    EXPECT_LE(readable.size(), 240u);
    EXPECT_EQ(readable.substr(0, 6), "%01%01");
    EXPECT_EQ(readable.size() % 3, 0u);
}

// Folders are renamed before their contents are walked; a readable name already taken
// gets a suffix; links are neither renamed into nor followed.
TEST(UnreadableNames, RenamesFilesAndFoldersOnceAndKeepsTheirBytes)
{
    TempFolder folder;
    ASSERT_EQ(::mkdir((folder / "Pictur\xE9s").c_str(), 0700), 0);
    WriteFile(folder / "Pictur\xE9s/x\x01.png", "picture");
    WriteFile(folder / "Pictur\xE9s/ok.png", "ok");
    WriteFile(folder / "a%01", "taken");
    WriteFile(folder / "a\x01", "renamed");
    WriteFile(folder / "content.xml", "<x/>");
    ASSERT_EQ(::symlink("/tmp", (folder / "link\x02").c_str()), 0);

    const NameRenaming renaming = RenameUnreadableNames(folder.path());
    EXPECT_EQ(FilesUnder(folder.path()),
              (std::vector<std::string>{"Pictur%E9s/ok.png", "Pictur%E9s/x%01.png", "a%01", "a%01~2", "content.xml"}));
    EXPECT_EQ(ReadFile(folder / "Pictur%E9s/x%01.png"), "picture");
    EXPECT_EQ(ReadFile(folder / "a%01~2"), "renamed");
    EXPECT_EQ(ReadFile(folder / "a%01"), "taken");
    ASSERT_EQ(renaming.listed.size(), 4u);
    EXPECT_EQ(renaming.listed[0].from, "Pictur\xE9s");
    EXPECT_EQ(renaming.listed[0].to, "Pictur%E9s");
    EXPECT_EQ(renaming.listed[1].from, "Pictur%E9s/x\x01.png");
    EXPECT_EQ(renaming.listed[1].to, "Pictur%E9s/x%01.png");
    EXPECT_EQ(renaming.listed[2].from, "a\x01");
    EXPECT_EQ(renaming.listed[2].to, "a%01~2");
    // The link is renamed like any name, but nothing behind it is touched.
    EXPECT_EQ(renaming.listed[3].to, "link%02");
    EXPECT_EQ(renaming.notListed, 0u);
    EXPECT_TRUE(renaming.failed.empty());
}

TEST(UnreadableNames, ListsAHundredRenamingsAndCountsTheRest)
{
    TempFolder folder;
    for (int i = 0; i < 130; ++i)
        WriteFile(folder / ("f" + std::to_string(1000 + i) + "\x01"), "x");
    const NameRenaming renaming = RenameUnreadableNames(folder.path());
    EXPECT_EQ(renaming.listed.size(), NameRenaming::kMaxListed);
    EXPECT_EQ(renaming.notListed, 30u);
    EXPECT_EQ(FilesUnder(folder.path()).size(), 130u);
    EXPECT_EQ(FilesUnder(folder.path()).back(), "f1129%01");
}

} // namespace
} // namespace tavrin
