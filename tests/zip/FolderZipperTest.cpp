#include "zip/FolderZipper.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ArchiveReader.h"
#include "ScratchFolder.h"
#include "platform/FileIo.h"
#include "zip/CompressionPool.h"

using namespace tavrin::zip;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> MemberNames(const ReadArchive& read)
{
    std::vector<std::string> names;
    for (const ReadMember& member : read.members)
        names.push_back(member["name"]);
    return names;
}

class FailingWrites : public tavrin::platform::FileIo {
public:
    ssize_t Write(int, const void*, std::size_t) override
    {
        errno = ENOSPC;
        return -1;
    }
};

class FolderZipperTest : public ::testing::Test {
protected:
    ScratchFolder scratch_;
    FolderZipper zipper_;
};

} // namespace

TEST_F(FolderZipperTest, TreeBecomesMembersInSortedDepthFirstOrder)
{
    const struct {
        std::string name;
        std::string data;
    } files[] = {
        {"mimetype", "application/vnd.oasis.opendocument.base, application/vnd.oasis.opendocument.base"},
        {"content.xml", "<office:document-content/>"},
        {"Pictures/b.png", "second picture, second picture, second picture"},
        {"Pictures/a.png", "first picture, first picture, first picture"},
        {"META-INF/manifest.xml", "<manifest:manifest/><manifest:manifest/><manifest:manifest/>"},
        {"database/backup/old.zip", "stored by its name, stored by its name, stored by its name"},
        {"Z.txt", "upper case sorts first, upper case sorts first"},
        {".hidden", "hidden files too, hidden files too, hidden files too"},
        {"\xe9t\xe9.txt", "a Latin-1 byte name, a Latin-1 byte name, a Latin-1 byte name"},
    };
    for (const auto& file : files)
        scratch_.Write("pkg/" + file.name, file.data);
    fs::create_directories(scratch_ / "pkg/empty-folder/nested");

    const mode_t oldMask = umask(022);
    const ZipFolderResult result = zipper_.ZipFolder(scratch_ / "pkg/", scratch_ / "out/Sales.odb"); // out/ missing
    fs::create_directories(scratch_ / "out");
    const ZipFolderResult saved = zipper_.ZipFolder(scratch_ / "pkg/", scratch_ / "out/Sales.odb");
    umask(oldMask);

    EXPECT_FALSE(result.complete);
    EXPECT_EQ(result.result, ZipOpenFailed);
    EXPECT_EQ(result.error, "No such file or directory");

    ASSERT_TRUE(saved.complete) << saved.error;
    EXPECT_EQ(saved.result, ZipOk);
    EXPECT_TRUE(saved.leftOut.empty());
    EXPECT_EQ(saved.membersWritten, 9);
    EXPECT_EQ(FilesIn(scratch_ / "out"), std::vector<std::string>{"Sales.odb"}); // no work file left
    struct stat info{};
    ASSERT_EQ(stat((scratch_ / "out/Sales.odb").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);

    const ReadArchive read = ReadWithPython(scratch_ / "out/Sales.odb");
    EXPECT_EQ(read.testzip, "ok") << read.output;
    std::string unzipOutput;
    EXPECT_EQ(TestWithUnzip(scratch_ / "out/Sales.odb", unzipOutput), 0) << unzipOutput;
    const std::vector<std::string> expectedOrder = {
        ToHex(".hidden"), ToHex("META-INF/manifest.xml"), ToHex("Pictures/a.png"), ToHex("Pictures/b.png"),
        ToHex("Z.txt"), ToHex("content.xml"), ToHex("database/backup/old.zip"), ToHex("mimetype"), ToHex("\xe9t\xe9.txt"),
    };
    EXPECT_EQ(MemberNames(read), expectedOrder);
    for (const auto& file : files) {
        const ReadMember* member = read.Find(ToHex(file.name));
        ASSERT_NE(member, nullptr) << file.name;
        EXPECT_EQ((*member)["data"], ToHex(file.data)) << file.name;
        // content.xml's 26 bytes do not deflate to fewer: stored.
        const bool stored = file.name == "database/backup/old.zip" || file.name == "content.xml";
        EXPECT_EQ((*member)["method"], stored ? "0" : "8") << file.name;
    }
}

TEST_F(FolderZipperTest, MemoryFilesTakeTheirPlaceInTheWalk)
{
    // Folder "a" sorts before "a-c" beside it, and memory files must land inside and
    // between the folder's own files as if they stood there too.
    for (const char* name : {"a/b/disk.xml", "a-c", "a/m.xml", "z/z.xml", "same.xml"})
        scratch_.Write(std::string("pkg/") + name, std::string("on disk: ") + name);
    // Half of them deflated ahead of time, as the repair holds its members.
    MemoryFiles memory;
    bool early = false;
    for (const char* name : {"a/a.xml", "a/b/x.xml", "a/n.xml", "a.b", "b/only-in-memory.xml", "same.xml", "zz"}) {
        const std::string text = std::string("in memory: ") + name + std::string(100, 'x');
        memory[name] = MemoryFile(text, early ? CompressionPool::Shared() : nullptr);
        early = !early;
    }
    zipper_.SetMemoryFiles(&memory);
    const ZipFolderResult saved = zipper_.ZipFolder(scratch_ / "pkg", scratch_ / "out.odb");
    ASSERT_TRUE(saved.complete) << saved.error;
    EXPECT_TRUE(saved.leftOut.empty());
    EXPECT_EQ(saved.membersWritten, 11);

    const ReadArchive read = ReadWithPython(scratch_ / "out.odb");
    EXPECT_EQ(read.testzip, "ok") << read.output;
    std::vector<std::string> expectedOrder;
    for (const char* name : {"a/a.xml", "a/b/disk.xml", "a/b/x.xml", "a/m.xml", "a/n.xml", "a-c", "a.b",
                             "b/only-in-memory.xml", "same.xml", "z/z.xml", "zz"})
        expectedOrder.push_back(ToHex(name));
    EXPECT_EQ(MemberNames(read), expectedOrder);
    const ReadMember* same = read.Find(ToHex("same.xml"));
    ASSERT_NE(same, nullptr);
    EXPECT_EQ((*same)["data"], ToHex("on disk: same.xml")); // the folder's file wins
    for (const auto& [name, file] : memory) {
        if (name == "same.xml")
            continue;
        const ReadMember* held = read.Find(ToHex(name));
        ASSERT_NE(held, nullptr) << name;
        EXPECT_EQ((*held)["data"], ToHex(std::string(file.Bytes()))) << name;
        EXPECT_EQ((*held)["method"], "8") << name; // deflated, early or not
    }
}

TEST_F(FolderZipperTest, EmptyFolderGivesTheEndRecordAlone)
{
    fs::create_directories(scratch_ / "pkg/only-empty-folders/inside");
    const ZipFolderResult result = zipper_.ZipFolder(scratch_ / "pkg", scratch_ / "empty.odb");
    ASSERT_TRUE(result.complete) << result.error;
    EXPECT_EQ(result.membersWritten, 0);
    EXPECT_EQ(ToHex(ScratchFolder::Read(scratch_ / "empty.odb")), "504b0506" + std::string(36, '0'));
}

TEST_F(FolderZipperTest, FolderThatIsNotThereMakesNoArchive)
{
    scratch_.Write("Sales.odb", "the previous archive");
    scratch_.Write("plain-file", "not a folder");
    const struct {
        const char* folder;
        const char* error;
    } cases[] = {{"missing", "No such file or directory"}, {"plain-file", "Not a directory"}};
    for (const auto& c : cases) {
        const ZipFolderResult result = zipper_.ZipFolder(scratch_ / c.folder, scratch_ / "Sales.odb");
        EXPECT_FALSE(result.complete) << c.folder;
        EXPECT_EQ(result.result, ZipOpenFailed) << c.folder;
        EXPECT_EQ(result.error, c.error) << c.folder;
        EXPECT_EQ(ScratchFolder::Read(scratch_ / "Sales.odb"), "the previous archive");
    }
    EXPECT_EQ(FilesIn(scratch_.Path()), (std::vector<std::string>{"Sales.odb", "plain-file"}));
}

TEST_F(FolderZipperTest, FilesThatCannotBeAddedAreLeftOutAndTheWalkGoesOn)
{
    scratch_.Write("pkg/a.txt", "a");
    scratch_.Write("pkg/z.txt", "z");
    scratch_.Write("pkg/sub/inner.txt", "inner");
    ASSERT_EQ(symlink("nowhere", (scratch_ / "pkg/broken-link").c_str()), 0);
    ASSERT_EQ(symlink(".", (scratch_ / "pkg/sub/loop").c_str()), 0);
    ASSERT_EQ(mkfifo((scratch_ / "pkg/pipe").c_str(), 0600), 0);
    ASSERT_EQ(symlink("a.txt", (scratch_ / "pkg/link-to-a").c_str()), 0);

    const ZipFolderResult result = zipper_.ZipFolder(scratch_ / "pkg", scratch_ / "out.odb");
    ASSERT_TRUE(result.complete) << result.error;
    EXPECT_EQ(result.leftOut, (std::vector<std::string>{"broken-link", "pipe", "sub/loop"}));
    EXPECT_EQ(result.membersWritten, 4);
    const ReadArchive read = ReadWithPython(scratch_ / "out.odb");
    EXPECT_EQ(read.testzip, "ok") << read.output;
    EXPECT_EQ(MemberNames(read), (std::vector<std::string>{ToHex("a.txt"), ToHex("link-to-a"), ToHex("sub/inner.txt"), ToHex("z.txt")}));
    EXPECT_EQ(read.Find(ToHex("link-to-a"))->fields.at("data"), ToHex("a"));
}

TEST_F(FolderZipperTest, ExistingArchiveIsReplacedOnlyByACompleteOne)
{
    scratch_.Write("pkg/content.xml", "<new/>");
    scratch_.Write("Sales.odb", "the previous archive");
    {
        FailingWrites fullDisk;
        tavrin::platform::FileIo* previous = tavrin::platform::FileIo::Install(&fullDisk);
        const ZipFolderResult result = zipper_.ZipFolder(scratch_ / "pkg", scratch_ / "Sales.odb");
        tavrin::platform::FileIo::Install(previous);
        EXPECT_FALSE(result.complete);
        EXPECT_EQ(result.result, ZipWriteFailed);
        EXPECT_EQ(result.error, "No space left on device");
    }
    EXPECT_EQ(ScratchFolder::Read(scratch_ / "Sales.odb"), "the previous archive");
    EXPECT_EQ(FilesIn(scratch_.Path()), (std::vector<std::string>{"Sales.odb", "pkg"}));

    const ZipFolderResult result = zipper_.ZipFolder(scratch_ / "pkg", scratch_ / "Sales.odb");
    ASSERT_TRUE(result.complete) << result.error;
    const ReadArchive read = ReadWithPython(scratch_ / "Sales.odb");
    ASSERT_EQ(read.members.size(), 1u) << read.output;
    EXPECT_EQ(read.members[0]["data"], ToHex("<new/>"));
}

TEST_F(FolderZipperTest, ArchiveWrittenInsideTheFolderLeavesItselfOut)
{
    scratch_.Write("pkg/content.xml", "<c/>");
    const ZipFolderResult result = zipper_.ZipFolder(scratch_ / "pkg", scratch_ / "pkg/self.odb");
    ASSERT_TRUE(result.complete) << result.error;
    const ReadArchive read = ReadWithPython(scratch_ / "pkg/self.odb");
    EXPECT_EQ(MemberNames(read), std::vector<std::string>{ToHex("content.xml")});
}

TEST_F(FolderZipperTest, ArchiveNamesUpToTheLimitSave)
{
    scratch_.Write("pkg/content.xml", "<c/>");
    // The work file's name must fit wherever the archive's name just fits (255 bytes).
    for (const std::size_t length : {std::size_t{255}, std::size_t{240}, std::size_t{5}}) {
        SCOPED_TRACE(length);
        const std::string name = std::string(length - 4, 'n') + ".odb";
        const ZipFolderResult result = zipper_.ZipFolder(scratch_ / "pkg", scratch_ / name);
        ASSERT_TRUE(result.complete) << result.error;
        const ReadArchive read = ReadWithPython(scratch_ / name);
        EXPECT_EQ(MemberNames(read), std::vector<std::string>{ToHex("content.xml")});
        ASSERT_EQ(unlink((scratch_ / name).c_str()), 0);
        EXPECT_EQ(FilesIn(scratch_.Path()), std::vector<std::string>{"pkg"}); // no work file left
    }
}
