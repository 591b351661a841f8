#include "engine/PictureWalk.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "RecordingView.h"
#include "TestPackages.h"

namespace tavrin {
namespace {

using namespace test;

TEST(PictureWalk, PicturesAreKnownByExtensionInAnyCase)
{
    const std::pair<const char*, bool> cases[] = {
        {"image.JPEG", true}, {"image.Jpg", true}, {"chart.EMF", true}, {".png", true}, {"a.b.gif", true},
        {"x.bmp", true},      {"image.tiff", false}, {"drawing.svg", false}, {"image.wmf", false},
        {"png", false},       {"thumbnail.png.txt", false}, {"trailing.", false},
    };
    for (const auto& [name, picture] : cases)
        EXPECT_EQ(IsPictureName(name), picture) << name;
}

void MakeTree(const std::string& root, const std::vector<std::string>& files)
{
    ::mkdir(root.c_str(), 0700);
    for (const std::string& file : files) {
        for (std::size_t slash = file.find('/'); slash != std::string::npos; slash = file.find('/', slash + 1))
            ::mkdir((root + "/" + file.substr(0, slash)).c_str(), 0700);
        WriteFile(root + "/" + file, "from " + file);
    }
}

TEST(PictureWalk, FindsTheFirstPictureDepthFirstInNameOrder)
{
    TempFolder folder;
    MakeTree(folder.path(), {"content.xml", "a/b/c/deep.png", "b/later.jpg", "Pictures.png/inside.txt"});
    RecordingView view;
    EXPECT_EQ(FindFirstPicture(folder.path(), view), 1);
    EXPECT_EQ(view.events, std::vector<std::string>{"picture 6 " + folder.path() + "/a/b/c/deep.png"});

    TempFolder none;
    MakeTree(none.path(), {"content.xml", "Pictures.png/inside.txt"});
    RecordingView quiet;
    EXPECT_EQ(FindFirstPicture(none.path(), quiet), 0);
    EXPECT_TRUE(quiet.events.empty());
    EXPECT_EQ(FindFirstPicturePath(none / "missing"), "");
}

TEST(PictureWalk, CopiesPicturesFlatTheLaterOfOneNameWinning)
{
    TempFolder folder;
    MakeTree(folder / "pkg", {"Pictures/a.png", "Thumbnails/a.png", "Thumbnails/thumbnail.png", "forms/x/p.GIF",
                              "content.xml", "db/.png"});
    ::mkdir((folder / "media").c_str(), 0755);
    EXPECT_EQ(CopyPictures(folder / "pkg", folder / "media"), 1);
    EXPECT_EQ(FilesUnder(folder / "media"), (std::vector<std::string>{".png", "a.png", "p.GIF", "thumbnail.png"}));
    EXPECT_EQ(ReadFile(folder / "media/a.png"), "from Thumbnails/a.png");

    TempFolder empty;
    ::mkdir((empty / "media").c_str(), 0755);
    EXPECT_EQ(CopyPictures(empty.path(), empty / "media"), 1);
    EXPECT_TRUE(FilesUnder(empty / "media").empty());
}

} // namespace
} // namespace tavrin
