// Faults of the machine rather than of the package: a destination that refuses writes
// or fills up, a source that cannot be read or disappears while the batch runs, and a
// work folder that is not our own. Each must be said in the log or a message, leave
// nothing half-written, and never replace an earlier good output with a broken one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "BatchRunner.h"
#include "FaultyFileIo.h"
#include "PermissionChecks.h"
#include "RecordingView.h"
#include "TestPackages.h"
#include "engine/RepairBatch.h"
#include "engine/Workspace.h"

namespace tavrin {
namespace {

using namespace test;
namespace fs = std::filesystem;

Bytes GoodPackage()
{
    return StoredMember("mimetype", "application/vnd.oasis.opendocument.base") +
           DeflatedMember("database/script", std::string(3000, 'S') + "CREATE TABLE T(ID INT)\n") +
           StoredMember("Pictures/logo.png", "png bytes");
}

std::string OpenFailedLine(const std::string& path)
{
    return path + " extraction of file failed.Please contact at " + kSupportAddress + " for further assitance.\r\n";
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetWorkspaceRootOverride(tmp / "ws");
        fs::create_directory(tmp / "out");
        view.destination = tmp / "out";
    }
    void TearDown() override { SetWorkspaceRootOverride(""); }

    std::string AddJob(const std::string& name, const Bytes& bytes)
    {
        const std::string path = tmp / name;
        WriteFile(path, bytes);
        view.jobs.push_back({path, 0});
        return path;
    }

    bool Logged(Colour colour, const std::string& text) const
    {
        return std::find(view.log.begin(), view.log.end(), std::make_pair(colour, text)) != view.log.end();
    }

    // Work files of the engine and the archive writer start with a dot.
    std::vector<std::string> HiddenFilesUnder(const std::string& folder) const
    {
        std::vector<std::string> hidden;
        for (const std::string& file : FilesUnder(folder))
            if (fs::path(file).filename().string().front() == '.')
                hidden.push_back(file);
        return hidden;
    }

    TempFolder tmp;
    RecordingView view;
    BatchRunner batch{view};
};

TEST_F(Faults, ReadOnlyDestinationFailsTheSaveAndWritesNothing)
{
    const std::string path = AddJob("Sales.odb", GoodPackage());
    batch.Repair();
    ASSERT_EQ(::chmod((tmp / "out").c_str(), 0555), 0);
    {
        PermissionChecks checks;
        ASSERT_TRUE(checks.Binding()) << "permission bits cannot be made to bind this test";
        EXPECT_EQ(batch.Save(), 1);
    }
    EXPECT_TRUE(Logged(kRed, path + " saving of file failed (Permission denied)....\r\n"));
    EXPECT_FALSE(Logged(kGreen, path + " saving of file done....\r\n"));
    EXPECT_EQ(batch.report.packages[0].result, PackageResult::SaveFailed);
    EXPECT_TRUE(FilesUnder(tmp / "out").empty());
    EXPECT_TRUE(fs::is_empty(tmp / "out"));
}

TEST_F(Faults, FullDestinationKeepsTheEarlierGoodOutput)
{
    const std::string path = AddJob("Sales.odb", GoodPackage());
    batch.Repair();
    ASSERT_EQ(batch.Save(), 1);
    const std::string output = tmp / "out/TAVRINREP_Sales.odb";
    const Bytes good = ReadFile(output);
    ASSERT_FALSE(good.empty());

    // The same package saved again onto a disk that takes only part of it.
    for (const std::size_t budget : {std::size_t{0}, std::size_t{100}, good.size() - 10}) {
        view.log.clear();
        {
            FaultyFileIo disk;
            disk.writeBudget = budget;
            view.answers.push_back(kIdYes); // replace the earlier output
            EXPECT_EQ(batch.Save(), 1);
        }
        EXPECT_TRUE(Logged(kRed, path + " saving of file failed (No space left on device)....\r\n")) << budget;
        EXPECT_EQ(batch.report.packages[0].result, PackageResult::SaveFailed) << budget;
        EXPECT_EQ(ReadFile(output), good) << "the good output was replaced, budget " << budget;
        EXPECT_TRUE(HiddenFilesUnder(tmp / "out").empty()) << budget;
    }
}

TEST_F(Faults, PicturesThatCannotBeCopiedAreNamedNotCalledDone)
{
    const std::string path = AddJob("Sales.odb", GoodPackage() + StoredMember("forms/Obj1/photo.jpg", "jpeg bytes"));
    batch.Repair();
    {
        FaultyFileIo disk;
        disk.failWritesUnder = "_MediaContent/";
        EXPECT_EQ(batch.Save(), 1);
    }
    for (const std::string picture : {"logo.png", "photo.jpg"})
        EXPECT_TRUE(Logged(kRed, path + " picture " + picture + " could not be copied into the media folder....\r\n"))
            << picture;
    EXPECT_FALSE(Logged(kBlack, path + " Media extraction is done....\r\n"));
    EXPECT_FALSE(Logged(kBlack, path + " no media content is present in the file....\r\n"));
    // The archive itself was not in the way of the fault.
    EXPECT_TRUE(Logged(kGreen, path + " saving of file done....\r\n"));
    EXPECT_EQ(FilesUnder(tmp / "out"), std::vector<std::string>{"TAVRINREP_Sales.odb"});
    EXPECT_EQ(batch.report.packages[0].result, PackageResult::SavedWithLosses);
    EXPECT_EQ(batch.report.packages[0].picturesNotCopied, (std::vector<std::string>{"logo.png", "photo.jpg"}));
}

TEST_F(Faults, MemberThatCouldNotBeWrittenMakesTheSaveOneWithLosses)
{
    const std::string path = AddJob("Sales.odb", GoodPackage());
    {
        FaultyFileIo disk;
        disk.failWritesUnder = "/database/";
        batch.Repair();
    }
    EXPECT_TRUE(Logged(kRed, path + " member database/script could not be written (No space left on device) and is "
                                    "left out....\r\n"));
    ASSERT_EQ(batch.Save(), 1);
    ASSERT_EQ(batch.report.packages.size(), 1u);
    EXPECT_EQ(batch.report.packages[0].result, PackageResult::SavedWithLosses);
    EXPECT_TRUE(Exists(tmp / "out/TAVRINREP_Sales.odb"));

    // The same package whole is saved without losses.
    batch.Repair();
    view.answers = {kIdYes};
    ASSERT_EQ(batch.Save(), 1);
    EXPECT_EQ(batch.report.packages[0].result, PackageResult::Saved);
}

TEST_F(Faults, DiskFillingUpDuringRepairLosesMembersLoudlyAndLeavesNoPart)
{
    const std::string path = AddJob("Sales.odb", GoodPackage());
    {
        FaultyFileIo disk;
        disk.writeBudget = 0;
        batch.Repair();
    }
    for (const std::string member : {"mimetype", "database/script", "Pictures/logo.png"})
        EXPECT_TRUE(Logged(kRed, path + " member " + member +
                                     " could not be written (No space left on device) and is left out....\r\n"))
            << member;
    EXPECT_TRUE(FilesUnder(tmp / "ws").empty());
    EXPECT_TRUE(Logged(kRed, path + " none of the 3 members found could be recovered, there is nothing to save....\r\n"));
    EXPECT_EQ(batch.report.packages[0].result, PackageResult::NothingRecovered);

    // Nothing was recovered, so nothing is saved that would pass for a database.
    EXPECT_EQ(batch.Save(), 1);
    EXPECT_TRUE(Logged(kRed, path + " cannot be saved,as it is not Repaired.\r\n"));
    EXPECT_TRUE(FilesUnder(tmp / "out").empty());
}

TEST_F(Faults, UnreadableSourceIsReportedAndNothingIsExtracted)
{
    const std::string path = AddJob("Locked.odb", GoodPackage());
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    {
        PermissionChecks checks;
        ASSERT_TRUE(checks.Binding()) << "permission bits cannot be made to bind this test";
        batch.Repair();
    }
    ASSERT_FALSE(view.messages.empty());
    EXPECT_EQ(view.messages[0], "Permission denied");
    EXPECT_TRUE(Logged(kBlack, OpenFailedLine(path)));
    EXPECT_EQ(view.jobs[0].state, 0);
    EXPECT_TRUE(FilesUnder(tmp / "ws").empty());
    ::chmod(path.c_str(), 0600);
    EXPECT_EQ(ReadFile(path), GoodPackage());
}

TEST_F(Faults, SourceVanishingBeforeItsTurnIsReportedAndTheRestGoesOn)
{
    const std::string first = AddJob("First.odb", GoodPackage());
    const std::string second = AddJob("Second.odb", GoodPackage());
    view.onLogLine = [&](const std::string& line) {
        if (line == first + "  Repaired....\r\n")
            ::unlink(second.c_str());
    };
    batch.Repair();
    EXPECT_EQ(view.messages, std::vector<std::string>{"No such file or directory"});
    EXPECT_TRUE(Logged(kBlack, OpenFailedLine(second)));
    EXPECT_EQ(view.jobs[0].state, 1);
    EXPECT_EQ(view.jobs[1].state, 0);

    view.onLogLine = nullptr;
    EXPECT_EQ(batch.Save(), 1);
    EXPECT_TRUE(Logged(kGreen, first + " saving of file done....\r\n"));
    EXPECT_TRUE(Logged(kRed, second + " cannot be saved,as it is not Repaired.\r\n"));
    EXPECT_FALSE(Exists(tmp / "out/TAVRINREP_Second.odb"));
}

TEST_F(Faults, SourceVanishingOrShrinkingAfterItsScanLosesNothingSilently)
{
    const std::string gone = AddJob("Gone.odb", GoodPackage());
    const Bytes shrinking = GoodPackage();
    const std::string cut = AddJob("Cut.odb", shrinking);
    view.onLogLine = [&](const std::string& line) {
        if (line == gone + " file is closed....\r\n")
            ::unlink(gone.c_str());
        if (line == cut + " file is closed....\r\n")
            ::truncate(cut.c_str(), static_cast<off_t>(shrinking.size() - 4));
    };
    batch.Repair();

    // Whether a member could still be read or not, it is either whole in the package
    // folder or named in a red line; never short or damaged without a word.
    const std::map<std::string, Bytes> originals = {
        {"mimetype", "application/vnd.oasis.opendocument.base"},
        {"database/script", std::string(3000, 'S') + "CREATE TABLE T(ID INT)\n"},
        {"Pictures/logo.png", "png bytes"},
    };
    ASSERT_EQ(batch.report.packages.size(), 2u);
    for (const PackageReport& package : batch.report.packages) {
        ASSERT_EQ(package.members.size(), originals.size()) << package.path;
        for (const MemberReport& member : package.members) {
            const std::string file = package.packageFolder + "/" + member.name;
            if (member.outcome == MemberOutcome::Written) {
                EXPECT_EQ(ReadFile(file), originals.at(member.name)) << file;
                continue;
            }
            bool named = false;
            for (const auto& [colour, text] : view.log)
                named |= colour == kRed && text.rfind(package.path + " member " + member.name + " ", 0) == 0;
            EXPECT_TRUE(named) << member.name << " of " << package.path << " was lost without a red line";
        }
    }
    EXPECT_TRUE(Logged(kRed, cut + " member Pictures/logo.png is cut short, 5 of 9 bytes recovered....\r\n"));
    EXPECT_TRUE(HiddenFilesUnder(tmp / "ws").empty());
}

// The extraction reads the file the scan read: one unlinked or replaced in between is
// still recovered whole, never mixed with the file now at its path.
TEST_F(Faults, SourceUnlinkedOrReplacedAfterItsScanIsStillReadWhole)
{
    const std::string gone = AddJob("Gone.odb", GoodPackage());
    const std::string replaced = AddJob("Replaced.odb", GoodPackage());
    const std::string other = tmp / "other.odb";
    WriteFile(other, StoredMember("mimetype", "something else entirely") + DeflatedMember("database/script", "DROP"));
    view.onLogLine = [&](const std::string& line) {
        if (line == gone + " file is closed....\r\n")
            ::unlink(gone.c_str());
        if (line == replaced + " file is closed....\r\n")
            ::rename(other.c_str(), replaced.c_str());
    };
    batch.Repair();
    ASSERT_FALSE(Exists(other));
    for (int job = 0; job < 2; ++job) {
        const PackageReport& package = batch.report.packages[static_cast<std::size_t>(job)];
        EXPECT_EQ(package.result, PackageResult::Repaired) << package.path;
        EXPECT_EQ(ReadFile(package.packageFolder + "/mimetype"), "application/vnd.oasis.opendocument.base");
        EXPECT_EQ(ReadFile(package.packageFolder + "/database/script"), std::string(3000, 'S') + "CREATE TABLE T(ID INT)\n");
        EXPECT_EQ(ReadFile(package.packageFolder + "/Pictures/logo.png"), "png bytes");
    }
}

// A failing medium is not a package that ends early; and a package of which nothing
// came back is not saved as if it were a database.
TEST_F(Faults, ReadErrorWhileExtractingIsNamedAndNothingRecoveredIsNotSaved)
{
    const std::string path = AddJob("Failing.odb", GoodPackage());
    {
        FaultyFileIo medium;
        view.onLogLine = [&](const std::string& line) {
            if (line == path + " file is closed....\r\n")
                medium.failReads = true;
        };
        batch.Repair();
        view.onLogLine = nullptr;
    }
    for (const std::string member : {"mimetype", "Pictures/logo.png"})
        EXPECT_TRUE(Logged(kRed, path + " member " + member +
                                     " could not be read from the package (Input/output error) and is left out....\r\n"))
            << member;
    EXPECT_TRUE(Logged(kRed, path + " member database/script could not be inflated (reading the package failed: "
                                    "Input/output error) and is left out....\r\n"));
    EXPECT_TRUE(Logged(kRed, path + " none of the 3 members found could be recovered, there is nothing to save....\r\n"));
    EXPECT_FALSE(Logged(kGreen, path + "  Repaired....\r\n"));
    EXPECT_EQ(batch.report.packages[0].result, PackageResult::NothingRecovered);
    EXPECT_EQ(view.jobs[0].state, 0);

    EXPECT_EQ(batch.Save(), 1);
    EXPECT_FALSE(Logged(kGreen, path + " saving of file done....\r\n"));
    EXPECT_TRUE(FilesUnder(tmp / "out").empty());
    EXPECT_EQ(ReadFile(path), GoodPackage());
}

// A medium that fails from the first read: said as such, not as a file without members.
TEST_F(Faults, ReadErrorWhileScanningIsNamed)
{
    const std::string path = AddJob("Unreadable.odb", GoodPackage());
    {
        FaultyFileIo medium;
        medium.failReads = true;
        batch.Repair();
    }
    EXPECT_TRUE(Logged(kRed, path + " reading the file failed after 0 bytes (Input/output error), no member after "
                                    "that point could be found....\r\n"));
    EXPECT_TRUE(Logged(kRed, path + " reading it failed (Input/output error), nothing could be read from it....\r\n"));
    EXPECT_EQ(batch.report.packages[0].result, PackageResult::NothingFound);
    EXPECT_FALSE(Logged(kGreen, path + "  Repaired....\r\n"));
}

TEST_F(Faults, WorkFolderThatIsNotOurOwnIsRefusedAndLeftAlone)
{
    const std::string path = AddJob("Sales.odb", GoodPackage());
    const std::string elsewhere = tmp / "elsewhere";
    fs::create_directory(elsewhere);
    WriteFile(elsewhere + "/theirs", "someone else's file");

    struct Row {
        const char* what;
        std::function<bool()> arrange;
        std::string reason;
    };
    const std::string root = tmp / "ws";
    const std::vector<Row> rows = {
        {"a symbolic link", [&] { return ::symlink(elsewhere.c_str(), root.c_str()) == 0; },
         root + ": not a real directory"},
        {"owned by another user",
         [&] {
             fs::remove(root);
             fs::create_directory(root);
             WriteFile(root + "/theirs", "someone else's file");
             return ::chown((root + "/theirs").c_str(), 65534, 65534) == 0 && ::chown(root.c_str(), 65534, 65534) == 0;
         },
         root + ": owned by another user"},
    };
    for (const Row& row : rows) {
        if (!row.arrange()) {
            ADD_FAILURE() << "cannot arrange a work folder that is " << row.what << " (needs root)";
            continue;
        }
        view.messages.clear();
        view.log.clear();
        batch.Repair();
        EXPECT_EQ(view.messages, std::vector<std::string>{"The work folder cannot be used: " + row.reason}) << row.what;
        EXPECT_TRUE(Logged(kBlack, OpenFailedLine(path))) << row.what;
        EXPECT_EQ(view.jobs[0].state, 0) << row.what;
        EXPECT_EQ(FilesUnder(elsewhere), std::vector<std::string>{"theirs"}) << row.what;
        if (fs::is_directory(fs::symlink_status(root))) {
            EXPECT_EQ(FilesUnder(root), std::vector<std::string>{"theirs"}) << row.what;
        }
    }
}

} // namespace
} // namespace tavrin
