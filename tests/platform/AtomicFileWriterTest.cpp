#include "platform/AtomicFileWriter.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ScratchDir.h"
#include "platform/FileIo.h"

using namespace tavrin::platform;

namespace {

using Strings = std::vector<std::string>;

mode_t ModeOf(const std::string& path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

class FailingSync : public FileIo {
public:
    int Sync(int) override
    {
        ++calls;
        errno = EIO;
        return -1;
    }
    int calls = 0;
};

TEST(AtomicFileWriter, TheTargetShowsTheOldBytesUntilCommitThenTheNewOnes)
{
    ScratchDir dir;
    dir.Write("content.xml", "old");
    {
        AtomicFileWriter writer(dir / "content.xml");
        ASSERT_TRUE(writer.Write("new ", 4));
        ASSERT_TRUE(writer.Write("bytes", 5));
        EXPECT_EQ(dir.Read("content.xml"), "old");
        EXPECT_EQ(dir.Names().size(), 2u); // the target and the work file beside it
        ASSERT_TRUE(writer.Commit(AtomicFileWriter::Durability::Synced)) << writer.Error();
    }
    EXPECT_EQ(dir.Names(), Strings{"content.xml"});
    EXPECT_EQ(dir.Read("content.xml"), "new bytes");
}

TEST(AtomicFileWriter, AWriterGivenUpLeavesNothingAndTheTargetUntouched)
{
    ScratchDir dir;
    dir.Write("kept", "as it was");
    {
        AtomicFileWriter unused(dir / "never");
    }
    {
        AtomicFileWriter abandoned(dir / "kept");
        ASSERT_TRUE(abandoned.Write("half", 4));
    }
    EXPECT_EQ(dir.Names(), Strings{"kept"});
    EXPECT_EQ(dir.Read("kept"), "as it was");
}

TEST(AtomicFileWriter, AnEmptyFileIsCommittedAndTruncateSetsTheLength)
{
    ScratchDir dir;
    {
        AtomicFileWriter empty(dir / "empty");
        ASSERT_TRUE(empty.Commit());
        AtomicFileWriter cut(dir / "cut");
        ASSERT_TRUE(cut.Write("0123456789", 10));
        ASSERT_TRUE(cut.Truncate(4));
        ASSERT_TRUE(cut.Commit());
    }
    EXPECT_EQ(dir.Names(), (Strings{"cut", "empty"}));
    EXPECT_EQ(dir.Read("empty"), "");
    EXPECT_EQ(dir.Read("cut"), "0123");
}

TEST(AtomicFileWriter, TheModeIsTheOneAskedForLessTheUmask)
{
    ScratchDir dir;
    const struct {
        mode_t mask;
        mode_t asked;
        mode_t expected;
    } cases[] = {{022, 0666, 0644}, {002, 0666, 0664}, {077, 0666, 0600}, {0, 0644, 0644}};
    for (const auto& c : cases) {
        const std::string name = "m" + std::to_string(c.mask) + "-" + std::to_string(c.asked);
        const mode_t old = ::umask(c.mask);
        AtomicFileWriter writer(dir / name, c.asked);
        const bool committed = writer.Commit();
        ::umask(old);
        ASSERT_TRUE(committed) << name;
        EXPECT_EQ(ModeOf(dir / name), c.expected) << name;
    }
}

TEST(AtomicFileWriter, FailuresAreKeptAndLeaveNoFileBehind)
{
    ScratchDir dir;
    {
        AtomicFileWriter missingFolder(dir / "missing/file");
        EXPECT_FALSE(missingFolder.Write("x", 1));
        EXPECT_EQ(missingFolder.Error(), ENOENT);
        EXPECT_FALSE(missingFolder.Commit());
    }
    {
        // The target is a folder that is not empty: the rename fails and the bytes go.
        ::mkdir((dir / "folder").c_str(), 0700);
        dir.Write("folder/inside", "x");
        AtomicFileWriter overFolder(dir / "folder");
        ASSERT_TRUE(overFolder.Write("bytes", 5));
        EXPECT_FALSE(overFolder.Commit());
        EXPECT_EQ(overFolder.Error(), EISDIR);
    }
    {
        FailingSync io;
        FileIo* previous = FileIo::Install(&io);
        AtomicFileWriter unsynced(dir / "unsynced");
        const bool cached = AtomicFileWriter(dir / "cached").Commit(AtomicFileWriter::Durability::Cached);
        const bool synced = unsynced.Commit(AtomicFileWriter::Durability::Synced);
        FileIo::Install(previous);
        EXPECT_TRUE(cached);
        EXPECT_FALSE(synced);
        EXPECT_EQ(unsynced.Error(), EIO);
        EXPECT_EQ(io.calls, 1);
    }
    EXPECT_EQ(dir.Names(), (Strings{"cached", "folder"}));
}

TEST(AtomicFileWriter, ALinkOrFileOnTheWorkNameIsNeverOpened)
{
    ScratchDir dir;
    // Every work name this process could pick next is taken by a link to a file that
    // must stay as it is; the writer steps past them.
    dir.Write("victim", "untouched");
    AtomicFileWriter probe(dir / "probe");
    ASSERT_TRUE(probe.Open());
    const std::string taken = probe.WorkPath();
    const std::string stem = taken.substr(0, taken.find_last_of('-') + 1);
    const unsigned next = static_cast<unsigned>(std::stoul(taken.substr(stem.size()))) + 1;
    for (unsigned i = next; i < next + 5; ++i)
        ASSERT_EQ(::symlink((dir / "victim").c_str(), (stem + std::to_string(i)).c_str()), 0);
    AtomicFileWriter writer(dir / "target");
    ASSERT_TRUE(writer.Write("mine", 4));
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(dir.Read("victim"), "untouched");
    EXPECT_EQ(dir.Read("target"), "mine");
}

} // namespace

// Relative to a folder descriptor: the folder reached through a link is written as the
// folder it was opened as, and a link in place of the target is replaced, not followed.
TEST(AtomicFileWriter, InAFolderDescriptorOnlyNamesInThatFolderAreTouched)
{
    ScratchDir dir;
    ASSERT_EQ(::mkdir((dir / "media").c_str(), 0755), 0);
    dir.Write("outside", "not to be written");
    ASSERT_EQ(::symlink((dir / "outside").c_str(), (dir / "media/picture.png").c_str()), 0);
    const int folder = ::open((dir / "media").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    {
        AtomicFileWriter writer(folder, "picture.png", 0644);
        ASSERT_TRUE(writer.Write("png", 3));
        ASSERT_TRUE(writer.Commit()) << writer.Error();
    }
    {
        AtomicFileWriter abandoned(folder, "other.png");
        ASSERT_TRUE(abandoned.Write("x", 1));
    }
    ::close(folder);
    EXPECT_EQ(dir.Read("outside"), "not to be written");
    EXPECT_EQ(dir.Read("media/picture.png"), "png");
    struct stat info {};
    ASSERT_EQ(::lstat((dir / "media/picture.png").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    Strings names;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "media"))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, Strings{"picture.png"}); // neither the abandoned file nor a work file
}
