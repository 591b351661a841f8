#include "engine/Workspace.h"
#include "engine/RunFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "TestPackages.h"

namespace tavrin {
namespace {

using namespace test;

// Points TMPDIR at a test folder for the lifetime of the object.
class TemporaryTmpdir {
public:
    explicit TemporaryTmpdir(const std::string& path)
    {
        if (const char* old = std::getenv("TMPDIR"))
            old_ = old, hadOld_ = true;
        ::setenv("TMPDIR", path.c_str(), 1);
    }
    ~TemporaryTmpdir()
    {
        if (hadOld_)
            ::setenv("TMPDIR", old_.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

private:
    std::string old_;
    bool hadOld_ = false;
};

TEST(Workspace, RootIsPrivatePerUserFolderInTmpdir)
{
    TempFolder tmp;
    TemporaryTmpdir env(tmp.path() + "/");
    const std::string expected = tmp.path() + "/BsTmp-" + std::to_string(::getuid());
    EXPECT_EQ(GetWorkspaceRoot(), expected);

    ::mkdir(expected.c_str(), 0777); // left open by someone: tightened, not refused
    ::chmod(expected.c_str(), 0777);
    const WorkspaceCheck check = EnsureWorkspaceRoot();
    EXPECT_TRUE(check.usable) << check.error;
    struct stat info {};
    ASSERT_EQ(::lstat(expected.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    EXPECT_EQ(PackageFolder("/data/in/Sales.odb", 2), expected + "/Sales.odb.2");
    EXPECT_EQ(PackageFolder("Sales.odb", 0), expected + "/Sales.odb.0");
    // A job number never runs into a name that ends in digits.
    EXPECT_NE(PackageFolder("T.odb1", 1), PackageFolder("T.odb", 11));
    const std::string longName(255, 'n');
    EXPECT_EQ(PackageFolder(longName, 7), expected + "/" + longName.substr(0, kMaxPackageFolderStem) + ".7");
}

TEST(Workspace, RefusesARootThatIsASymlinkOrAFile)
{
    TempFolder tmp;
    TemporaryTmpdir env(tmp.path());
    const std::string root = GetWorkspaceRoot();
    ::mkdir((tmp / "elsewhere").c_str(), 0700);
    ASSERT_EQ(::symlink((tmp / "elsewhere").c_str(), root.c_str()), 0);
    EXPECT_FALSE(EnsureWorkspaceRoot().usable);
    WriteFile(tmp / "elsewhere/keep", "x");
    WipeWorkspace(); // must not follow the link
    EXPECT_TRUE(Exists(tmp / "elsewhere/keep"));

    ::unlink(root.c_str());
    WriteFile(root, "plain file");
    EXPECT_FALSE(EnsureWorkspaceRoot().usable);

    // Someone else's folder of that name (only root can stage that).
    ::unlink(root.c_str());
    ::mkdir(root.c_str(), 0700);
    if (::getuid() == 0 && ::chown(root.c_str(), 65534, 65534) == 0) {
        const WorkspaceCheck foreign = EnsureWorkspaceRoot();
        EXPECT_FALSE(foreign.usable);
        EXPECT_NE(foreign.error.find("owned by another user"), std::string::npos);
    }
}

TEST(Workspace, OverrideReplacesTheRoot)
{
    TempFolder tmp;
    SetWorkspaceRootOverride(tmp.path() + "/run/");
    EXPECT_EQ(GetWorkspaceRoot(), tmp.path() + "/run");
    EXPECT_TRUE(EnsureWorkspaceRoot().usable);
    SetWorkspaceRootOverride("");
    EXPECT_NE(GetWorkspaceRoot(), tmp.path() + "/run");
}

TEST(Workspace, DeleteFolderTreeEmptiesButNeverFollowsLinks)
{
    TempFolder tmp;
    const std::string tree = tmp / "tree";
    ::mkdir(tree.c_str(), 0700);
    ::mkdir((tree + "/a").c_str(), 0700);
    ::mkdir((tree + "/a/b").c_str(), 0700);
    WriteFile(tree + "/a/b/deep.txt", "d");
    WriteFile(tree + "/top.txt", "t");
    ::mkdir((tmp / "outside").c_str(), 0700);
    WriteFile(tmp / "outside/precious", "p");
    ASSERT_EQ(::symlink((tmp / "outside").c_str(), (tree + "/link").c_str()), 0);

    DeleteFolderTree(tree);
    EXPECT_TRUE(Exists(tree));
    EXPECT_TRUE(FilesUnder(tree).empty());
    EXPECT_FALSE(Exists(tree + "/a"));
    EXPECT_FALSE(Exists(tree + "/link"));
    EXPECT_TRUE(Exists(tmp / "outside/precious"));
}

} // namespace
} // namespace tavrin

namespace tavrin {
namespace {

// A run's folder is private and locked while the run lives; the folders of runs that
// are gone (lock free) are removed by the next start, those of live runs are not.
TEST(RunFolder, IsPrivateAndOnlyFoldersOfRunsThatEndedAreCleared)
{
    TempFolder tmp;
    TemporaryTmpdir env(tmp.path());
    RunFolder live;
    ASSERT_TRUE(live.Create("tavrin-test"));
    EXPECT_EQ(live.path().rfind(tmp.path() + "/tavrin-test-", 0), 0u) << live.path();
    struct stat info {};
    ASSERT_EQ(::lstat(live.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    WriteFile(live.path() + "/work", "x");

    std::string deadPath;
    {
        RunFolder dead; // a run killed outright: its folder stays, its lock goes
        ASSERT_TRUE(dead.Create("tavrin-test"));
        deadPath = dead.path();
        WriteFile(deadPath + "/left", "x");
    }
    ::mkdir((tmp.path() + "/tavrin-other-abcdef").c_str(), 0700); // not ours by name
    RunFolder::RemoveStale("tavrin-test");
    EXPECT_FALSE(Exists(deadPath));
    EXPECT_TRUE(Exists(live.path() + "/work"));
    EXPECT_TRUE(Exists(tmp.path() + "/tavrin-other-abcdef"));

    const std::string livePath = live.path();
    live.Remove();
    EXPECT_FALSE(Exists(livePath));
}

} // namespace
} // namespace tavrin
