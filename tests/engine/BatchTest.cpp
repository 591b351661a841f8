// The repair and save batches on packages built for one behaviour each.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "BatchRunner.h"
#include "RecordingView.h"
#include "TestPackages.h"
#include "../zip/ArchiveReader.h"
#include "engine/HeldFolder.h"
#include "engine/PackageOutcome.h"
#include "engine/Workspace.h"

namespace tavrin {
namespace {

using namespace test;
namespace fs = std::filesystem;

const std::string kSeparator = std::string(85, '*') + "\r\n";

Bytes SmallPackage(const std::string& tag)
{
    return StoredMember("mimetype", "application/vnd.oasis.opendocument.base") +
           DeflatedMember("database/script", "CREATE TABLE " + tag + "(ID INT)\nCREATE TABLE " + tag + "2(ID INT)\n") +
           StoredMember("Pictures/" + tag + ".png", "png bytes of " + tag);
}

class Batches : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetWorkspaceRootOverride(tmp / "ws");
        fs::create_directory(tmp / "out");
        view.destination = tmp / "out";
    }
    void TearDown() override { SetWorkspaceRootOverride(""); }

    std::string AddJob(const std::string& relative, const Bytes& bytes)
    {
        const std::string path = tmp / relative;
        fs::create_directories(fs::path(path).parent_path());
        WriteFile(path, bytes);
        view.jobs.push_back({path, 0});
        return path;
    }

    bool Logged(const std::string& text, Colour colour) const
    {
        return std::find(view.log.begin(), view.log.end(), std::make_pair(colour, text)) != view.log.end();
    }

    TempFolder tmp;
    RecordingView view;
    BatchRunner batch{view};
};

TEST_F(Batches, SameFileNameTwiceGetsTwoPackageFoldersAndTwoOutputs)
{
    const std::string first = AddJob("a/Sales.odb", SmallPackage("A"));
    const std::string second = AddJob("b/Sales.odb", SmallPackage("B"));
    batch.Repair();
    EXPECT_TRUE(Exists(tmp / "ws/Sales.odb.0/database/script"));
    EXPECT_TRUE(Exists(tmp / "ws/Sales.odb.1/database/script"));
    EXPECT_EQ(view.jobs[0].state, 1);
    EXPECT_EQ(view.jobs[1].state, 1);

    EXPECT_EQ(batch.Save(), 1);
    EXPECT_TRUE(Logged(first + " saving of file starts....\r\n", kBlack));
    EXPECT_TRUE(Logged(second + " saving of file starts as TAVRINREP_Sales (2).odb, as a file of the same name was "
                                "saved before in this batch....\r\n",
                       kBlack));
    EXPECT_TRUE(Logged(second + " saving of file done....\r\n", kGreen));
    EXPECT_NE(ReadFile(tmp / "out/TAVRINREP_Sales.odb"), ReadFile(tmp / "out/TAVRINREP_Sales (2).odb"));
    EXPECT_EQ(FilesUnder(tmp / "out/Sales.odb_MediaContent"), std::vector<std::string>{"A.png"});
    EXPECT_EQ(FilesUnder(tmp / "out/Sales (2).odb_MediaContent"), std::vector<std::string>{"B.png"});
    EXPECT_EQ(batch.report.packages[1].outputPath, tmp / "out/TAVRINREP_Sales (2).odb");

    // A second save replaces the outputs of the first instead of numbering further.
    EXPECT_EQ(batch.Save(), 1);
    EXPECT_FALSE(Exists(tmp / "out/TAVRINREP_Sales (3).odb"));
}

// Two packages written one after the other into one file: each is rebuilt on its own,
// the second saved beside the first under the first's name and its number.
TEST_F(Batches, TwoPackagesInOneFileAreRebuiltAndSavedOneByOne)
{
    const std::string path = AddJob("Sales.odb", SmallPackage("A") + SmallPackage("B"));
    batch.Repair();
    ASSERT_EQ(batch.report.packages.size(), 1u);
    const PackageReport& first = batch.report.packages[0];
    EXPECT_EQ(first.result, PackageResult::Repaired);
    EXPECT_EQ(first.packagesInFile, 2u);
    ASSERT_EQ(first.furtherPackages.size(), 1u);
    const PackageReport& second = first.furtherPackages[0];
    EXPECT_EQ(second.result, PackageResult::Repaired);
    EXPECT_EQ(second.packageNumber, 2u);
    EXPECT_EQ(second.packageFolder, tmp / "ws/Sales.odb.0-2");
    // Each folder holds its own members, and nothing of the other.
    EXPECT_NE(ReadFile(tmp / "ws/Sales.odb.0/database/script").find("CREATE TABLE A("), std::string::npos);
    EXPECT_NE(ReadFile(tmp / "ws/Sales.odb.0-2/database/script").find("CREATE TABLE B("), std::string::npos);
    const std::vector<std::string> made = {"META-INF/manifest.xml", "Pictures/B.png", "content.xml", "database/script",
                                           "mimetype"};
    EXPECT_EQ(FilesUnder(tmp / "ws/Sales.odb.0-2"), made);
    EXPECT_TRUE(second.copiesSetAside.empty());
    EXPECT_TRUE(first.copiesSetAside.empty());
    EXPECT_TRUE(Logged(path + " the file holds 2 packages, each is rebuilt on its own and saved beside the first with "
                              "its number after the name (package 2 at byte 249)....\r\n",
                       kBlack))
        << view.Transcript();
    EXPECT_TRUE(Logged(path + " (package 2)  Repaired....\r\n", kGreen));
    EXPECT_EQ(std::count(view.log.begin(), view.log.end(), std::make_pair(kBlack, kSeparator)), 1);
    EXPECT_EQ(OutcomeOf(first, first.noDamageFound), PackageOutcome::Repaired);

    // An earlier output of the second's name is kept when the user says No.
    WriteFile(tmp / "out/TAVRINREP_Sales-2.odb", "older");
    // No now (and OK to the closing message); Yes to both outputs on the save after.
    view.answers = {kIdNo, kIdOk, kIdYes, kIdYes};
    EXPECT_EQ(batch.Save(), 1);
    EXPECT_EQ(batch.report.packages[0].result, PackageResult::Saved);
    EXPECT_TRUE(Exists(tmp / "out/TAVRINREP_Sales.odb"));
    const PackageReport& refused = batch.report.packages[0].furtherPackages[0];
    EXPECT_EQ(refused.result, PackageResult::SaveFailed);
    EXPECT_EQ(refused.error, "TAVRINREP_Sales-2.odb already exists");
    EXPECT_EQ(ReadFile(tmp / "out/TAVRINREP_Sales-2.odb"), "older");
    EXPECT_TRUE(Logged(path + " (package 2) saving of file skipped, TAVRINREP_Sales-2.odb already exists in the "
                              "destination folder....\r\n",
                       kRed));
    EXPECT_EQ(OutcomeOf(batch.report.packages[0], false), PackageOutcome::RepairedWithLosses);

    // Said Yes, it is replaced, with the second package's pictures beside it.
    EXPECT_EQ(batch.Save(), 1);
    const PackageReport& saved = batch.report.packages[0].furtherPackages[0];
    EXPECT_EQ(saved.result, PackageResult::Saved);
    EXPECT_EQ(saved.outputPath, tmp / "out/TAVRINREP_Sales-2.odb");
    EXPECT_EQ(saved.mediaFolder, tmp / "out/Sales-2.odb_MediaContent");
    EXPECT_NE(ReadFile(tmp / "out/TAVRINREP_Sales-2.odb"), "older");
    EXPECT_NE(ReadFile(tmp / "out/TAVRINREP_Sales-2.odb"), ReadFile(tmp / "out/TAVRINREP_Sales.odb"));
    EXPECT_EQ(FilesUnder(tmp / "out/Sales.odb_MediaContent"), std::vector<std::string>{"A.png"});
    EXPECT_EQ(FilesUnder(tmp / "out/Sales-2.odb_MediaContent"), std::vector<std::string>{"B.png"});
    EXPECT_TRUE(Logged(path + " (package 2) saving of file starts as TAVRINREP_Sales-2.odb....\r\n", kBlack));
    EXPECT_TRUE(Logged(path + " (package 2) saving of file done....\r\n", kGreen));
}

// A stop takes effect between the packages of one file as it does between files: the
// package in hand is finished, the rest are said not to be repaired and are not saved.
TEST_F(Batches, StopBetweenThePackagesOfOneFileFinishesThePackageInHand)
{
    const std::string path = AddJob("Sales.odb", SmallPackage("A") + SmallPackage("B") + SmallPackage("C"));
    view.answers = {kIdYes};
    view.onLogLine = [&](const std::string& line) {
        if (line == path + "  Repaired....\r\n")
            EXPECT_TRUE(ConfirmStop(batch.context));
    };
    batch.Repair();
    ASSERT_EQ(batch.report.packages.size(), 1u);
    const PackageReport& first = batch.report.packages[0];
    EXPECT_EQ(first.result, PackageResult::Repaired);
    ASSERT_EQ(first.furtherPackages.size(), 2u);
    for (std::size_t number : {2u, 3u}) {
        const std::string logPath = path + " (package " + std::to_string(number) + ")";
        EXPECT_TRUE(Logged(logPath + " is not extracting as process has been stop by the user.... \r\n", kBlack))
            << view.Transcript();
        EXPECT_TRUE(Logged(logPath + " not Repaired....\r\n", kRed));
        EXPECT_EQ(first.furtherPackages[number - 2].result, PackageResult::StoppedBefore);
        EXPECT_EQ(first.furtherPackages[number - 2].packageNumber, number);
        EXPECT_FALSE(Exists(tmp / ("ws/Sales.odb.0-" + std::to_string(number))));
    }
    EXPECT_FALSE(Logged(path + " (package 2)  Repaired....\r\n", kGreen));

    view.onLogLine = nullptr;
    EXPECT_EQ(batch.Save(), 1);
    EXPECT_TRUE(Exists(tmp / "out/TAVRINREP_Sales.odb"));
    EXPECT_FALSE(Exists(tmp / "out/TAVRINREP_Sales-2.odb"));
    EXPECT_EQ(batch.report.packages[0].furtherPackages[0].result, PackageResult::StoppedBefore);
}

// The end of the file inside a local header cuts off a member: the package is saved with
// what was there, and said to have lost it.
TEST_F(Batches, AMemberCutOffInItsHeaderIsALoss)
{
    const Bytes whole = SmallPackage("A");
    const std::string path = AddJob("Cut.odb", whole + LocalHeader("settings.xml", 8, 100, 200).substr(0, 20));
    batch.Repair();
    EXPECT_TRUE(Logged(path + " member without a name at byte " + std::to_string(whole.size()) +
                           " is left out, the package ends inside its local header....\r\n",
                       kRed))
        << view.Transcript();
    EXPECT_EQ(batch.Save(), 1);
    const PackageReport& report = batch.report.packages[0];
    EXPECT_EQ(report.result, PackageResult::SavedWithLosses);
    ASSERT_FALSE(report.members.empty());
    EXPECT_EQ(report.members.back().defect, MemberDefect::HeaderCutOff);
}

// Small members no step reads stay in memory from their extraction to the save; what
// is large, read by a step, a picture or not whole goes to the package folder; the
// saved package holds them all, in the folder's order, and its manifest lists them.
class HeldMembers : public Batches {
protected:
    // Every member the package is built from, by name.
    std::map<std::string, Bytes> members;
    Bytes package;

    void Add(const std::string& name, const Bytes& data, bool deflated = true)
    {
        members[name] = data;
        package += deflated ? DeflatedMember(name, data) : StoredMember(name, data);
    }

    void BuildPackage()
    {
        Add("mimetype", "application/vnd.oasis.opendocument.base", false);
        // Deflated members longer than their deflated bytes: equal sizes would read as stored.
        Add("database/script", "CREATE TABLE T(ID INT)\nCREATE TABLE U(ID INT)\nCREATE TABLE V(ID INT)\n");
        Add("forms/Obj1/content.xml", "<office:document-content><office:body/><office:body/></office:document-content>");
        for (int i = 0; i < 40; ++i)
            Add("forms/Obj1/part" + std::to_string(i) + ".xml",
                "<part n=\"" + std::to_string(i) + "\"><part/><part/><part/></part>", i % 3 != 0);
        Add("forms/Obj2/big.bin", Bytes(HeldFolder::kMaxHeldMember + 1, 'b'));
        Add("forms/Obj2/logo.png", "png bytes");
        Add("Configurations2/menubar/menu.xml", "<menu><menu/><menu/><menu/></menu>");
    }

    // Builds the package, repairs it and gives its held folder.
    std::shared_ptr<const HeldFolder> RepairedHeld()
    {
        BuildPackage();
        AddJob("Held.odb", package);
        batch.Repair();
        return HeldFolder::Of(folder);
    }

    const std::string folder = tmp / "ws/Held.odb.0";

    static std::string CrcText(const Bytes& data)
    {
        char text[9];
        std::snprintf(text, sizeof text, "%08x", Crc32(data));
        return text;
    }

    void ExpectSavedWhole()
    {
        const ReadArchive read = ReadWithPython(tmp / "out/TAVRINREP_Held.odb");
        EXPECT_EQ(read.testzip, "ok") << read.output;
        std::vector<std::string> order;
        for (const ReadMember& member : read.members)
            order.push_back(member["name"]);
        for (const auto& [name, data] : members) {
            const ReadMember* saved = read.Find(ToHex(name));
            ASSERT_NE(saved, nullptr) << name;
            EXPECT_EQ((*saved)["usize"], std::to_string(data.size())) << name;
            EXPECT_EQ((*saved)["datacrc"], CrcText(data)) << name;
        }
        // mimetype first, then the order of a walk of the folder, held members in it.
        ASSERT_FALSE(order.empty());
        EXPECT_EQ(order.front(), ToHex("mimetype"));
        for (std::string& name : order) {
            std::string bytes;
            for (std::size_t i = 0; i + 1 < name.size(); i += 2)
                bytes += static_cast<char>(std::stoi(name.substr(i, 2), nullptr, 16));
            name = bytes;
        }
        EXPECT_TRUE(std::is_sorted(order.begin() + 1, order.end(), zip::TreeOrder()));
    }
};

TEST_F(HeldMembers, AreSavedWithTheFolderAndListedInTheManifest)
{
    const std::shared_ptr<const HeldFolder> held = RepairedHeld();
    ASSERT_NE(held, nullptr);
    std::vector<std::string> heldNames;
    for (const auto& [name, file] : held->files()) {
        heldNames.push_back(name);
        EXPECT_EQ(file.Bytes(), members[name]) << name;
        EXPECT_NE(file.DeflatedEarly(), nullptr) << name;
    }
    std::vector<std::string> expectedHeld = {"Configurations2/menubar/menu.xml"};
    for (int i = 0; i < 40; ++i)
        expectedHeld.push_back("forms/Obj1/part" + std::to_string(i) + ".xml");
    std::sort(expectedHeld.begin(), expectedHeld.end(), zip::TreeOrder());
    EXPECT_EQ(heldNames, expectedHeld);
    // Nothing held is in the folder too; everything else is there.
    const std::vector<std::string> inFolder = FilesUnder(folder);
    for (const std::string& name : heldNames)
        EXPECT_EQ(std::count(inFolder.begin(), inFolder.end(), name), 0) << name;
    for (const char* name : {"forms/Obj1/content.xml", "forms/Obj2/big.bin", "forms/Obj2/logo.png", "database/script"})
        EXPECT_EQ(std::count(inFolder.begin(), inFolder.end(), name), 1) << name;
    const Bytes manifest = ReadFile(folder + "/META-INF/manifest.xml");
    for (const std::string& name : heldNames)
        EXPECT_NE(manifest.find("manifest:full-path=\"" + name + "\""), std::string::npos) << name;

    EXPECT_EQ(batch.Save(), 1);
    EXPECT_EQ(batch.report.packages[0].result, PackageResult::Saved) << view.Transcript();
    ExpectSavedWhole();

    // The held members go with their folder, and only with it.
    const std::shared_ptr<HeldFolder> beside = HeldFolder::Start(folder + "-2");
    DeleteFolderTree(folder);
    EXPECT_EQ(HeldFolder::Of(folder), nullptr);
    EXPECT_EQ(HeldFolder::Of(folder + "-2"), beside);
    HeldFolder::ForgetAt(folder + "-2");
}

// With the memory budget taken, every member goes to the folder and the package is the same.
TEST_F(HeldMembers, BeyondTheBudgetMembersGoToTheFolder)
{
    const std::shared_ptr<HeldFolder> other = HeldFolder::Start(tmp / "other");
    ASSERT_TRUE(other->Reserve(HeldFolder::kHeldBytesBudget - 64));
    const std::shared_ptr<const HeldFolder> held = RepairedHeld();
    ASSERT_NE(held, nullptr);
    EXPECT_TRUE(held->empty());
    const std::vector<std::string> inFolder = FilesUnder(folder);
    EXPECT_EQ(std::count(inFolder.begin(), inFolder.end(), "forms/Obj1/part7.xml"), 1);
    EXPECT_EQ(batch.Save(), 1);
    ExpectSavedWhole();
    other->Unreserve(HeldFolder::kHeldBytesBudget - 64);
    HeldFolder::ForgetAt(tmp / "other");
}

TEST(HeldFolderRule, HoldsOnlyWhatNoStepReads)
{
    const struct {
        const char* path;
        bool held;
    } cases[] = {
        {"forms/Obj1/part1.xml", true},
        {"Configurations2/accelerator/current.xml", true},
        {"reports/Obj2/images/chart.svg", true},
        {"settings.xml", false},               // top level: the package's own documents
        {"forms/Obj1/content.xml", false},     // a form's documents are read by name
        {"forms/Obj1/styles.xml", false},
        {"forms/Obj1/META-INF/manifest.xml", false},
        {"database/script", false},
        {"META-INF/other.xml", false},
        {"Thumbnails/thumbnail.png", false},
        {"forms/Obj1/photo.JPG", false},       // pictures are copied out from the folder
        {"forms/Obj1/50%.xml", false},         // '%' names are renamed
        {"forms/Obj1/caf\xc3\xa9.xml", false},
        {"forms/Obj1/tab\t.xml", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HeldFolder::MayHold(c.path), c.held) << c.path;
}

// Jobs run several at once log, answer and save as they do one at a time: each job's
// lines come in one block, the blocks in the order of the jobs, a question is answered
// while its job waits, and names of one file name are numbered in the order of the jobs.
TEST_F(Batches, SeveralJobsAtOnceLogAndSaveAsOneAtATime)
{
    AddJob("a/Sales.odb", SmallPackage("A"));
    AddJob("b/Sales.odb", SmallPackage("B"));
    AddJob("junk.odb", Bytes(300, 'x'));
    AddJob("c/Sales.odb", SmallPackage("C"));
    AddJob("Kept.odb", SmallPackage("K"));
    AddJob("d/Sales.odb", SmallPackage("D"));
    struct Run {
        std::vector<std::pair<Colour, std::string>> log;
        std::vector<std::string> messages;
        std::vector<PackageReport> packages;
    };
    auto run = [&](int jobsAtOnce) {
        const fs::path out = tmp / ("out" + std::to_string(jobsAtOnce));
        fs::create_directory(out);
        WriteFile(out / "TAVRINREP_Kept.odb", "an earlier output the user keeps");
        RecordingView own;
        own.jobs = view.jobs;
        own.destination = out;
        own.answers = {kIdNo}; // keep TAVRINREP_Kept.odb
        own.Substitute(out.string(), "OUT");
        BatchRunner runner{own};
        runner.context.jobsAtOnce = jobsAtOnce;
        runner.Repair();
        EXPECT_EQ(runner.Save(), 1);
        for (const char* name : {"TAVRINREP_Sales.odb", "TAVRINREP_Sales (2).odb", "TAVRINREP_Sales (3).odb",
                                 "TAVRINREP_Sales (4).odb"})
            EXPECT_TRUE(Exists(out / name)) << jobsAtOnce << " " << name;
        EXPECT_EQ(ReadFile(out / "TAVRINREP_Kept.odb"), Bytes("an earlier output the user keeps"));
        for (PackageReport& package : runner.report.packages)
            package.outputPath = package.outputPath.empty() ? "" : fs::path(package.outputPath).filename().string();
        Run result;
        result.log = own.log;
        result.messages = own.messages;
        result.packages = runner.report.packages;
        return result;
    };
    const Run one = run(1);
    ASSERT_EQ(one.packages.size(), 6u);
    for (const int jobsAtOnce : {3, 6}) {
        const Run several = run(jobsAtOnce);
        EXPECT_EQ(several.log, one.log) << jobsAtOnce;
        ASSERT_EQ(several.messages.size(), one.messages.size()) << jobsAtOnce;
        ASSERT_EQ(several.packages.size(), one.packages.size());
        for (std::size_t i = 0; i < one.packages.size(); ++i) {
            EXPECT_EQ(several.packages[i].path, one.packages[i].path);
            EXPECT_EQ(several.packages[i].result, one.packages[i].result) << i;
            EXPECT_EQ(several.packages[i].outputPath, one.packages[i].outputPath) << i;
        }
    }
    EXPECT_EQ(one.packages[4].result, PackageResult::SaveFailed);
    EXPECT_EQ(one.packages[5].outputPath, "TAVRINREP_Sales (4).odb");
}

TEST_F(Batches, StopDuringTheSecondOfFourFinishesItAndListsTheRest)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 4; ++i)
        paths.push_back(AddJob("p" + std::to_string(i) + ".odb", SmallPackage("T" + std::to_string(i))));
    view.answers = {kIdNo, kIdYes};
    view.onLogLine = [&](const std::string& line) {
        if (line == paths[1] + " file is extracted....\r\n") {
            EXPECT_FALSE(ConfirmStop(batch.context)); // answered No: nothing changes
            EXPECT_EQ(batch.running.load(), 1);
            EXPECT_TRUE(ConfirmStop(batch.context));
        }
    };
    batch.Repair();
    EXPECT_TRUE(Logged(paths[1] + "  Repaired....\r\n", kGreen));
    for (int j : {2, 3}) {
        EXPECT_TRUE(Logged(paths[j] + " file is not extracting as process has been stop by the user.... \r\n", kBlack));
        EXPECT_TRUE(Logged(paths[j] + " not Repaired....\r\n", kRed));
        EXPECT_EQ(view.jobs[j].state, 0);
        EXPECT_FALSE(Exists(tmp / ("ws/p" + std::to_string(j) + ".odb." + std::to_string(j))));
    }
    EXPECT_EQ(view.jobs[1].state, 1);
    EXPECT_EQ(view.log.back(), std::make_pair(kBlack, std::string(64, '_') + "\r\n\r\n"));
    EXPECT_EQ(batch.running.load(), 0);

    // Saved afterwards: the two repaired ones are written, the stopped ones are not.
    view.onLogLine = nullptr;
    EXPECT_EQ(batch.Save(), 1);
    EXPECT_TRUE(Exists(tmp / "out/TAVRINREP_p1.odb"));
    EXPECT_TRUE(Logged(paths[3] + " cannot be saved,as it is not Repaired.\r\n", kRed));
    EXPECT_FALSE(Exists(tmp / "out/TAVRINREP_p3.odb"));
}

TEST_F(Batches, StopDuringSaveFinishesTheCurrentPackageOnly)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 3; ++i)
        paths.push_back(AddJob("s" + std::to_string(i) + ".odb", SmallPackage("S")));
    batch.Repair();
    view.answers = {kIdYes};
    view.onLogLine = [&](const std::string& line) {
        if (line == paths[0] + " saving of file starts....\r\n")
            ConfirmStop(batch.context);
    };
    EXPECT_EQ(batch.Save(), 1);
    EXPECT_TRUE(Logged(paths[0] + " saving of file done....\r\n", kGreen));
    for (int j : {1, 2}) {
        EXPECT_TRUE(Logged(paths[j] + " file is not saving as process has been stop by the user.... \r\n", kBlack));
        EXPECT_TRUE(Logged(paths[j] + " not saved....\r\n", kRed));
        EXPECT_EQ(view.jobs[j].state, 0);
    }
    EXPECT_FALSE(Exists(tmp / "out/TAVRINREP_s1.odb"));
}

TEST_F(Batches, ArchiveThatCannotBeWrittenIsLoggedAsFailedNotDone)
{
    const std::string path = AddJob("Blocked.odb", SmallPackage("X"));
    batch.Repair();
    // A folder in the archive's place: the finished archive cannot be moved there.
    fs::create_directories(tmp / "out/TAVRINREP_Blocked.odb/keep");
    view.answers = {kIdYes}; // replace it
    EXPECT_EQ(batch.Save(), 1);
    EXPECT_FALSE(Logged(path + " saving of file done....\r\n", kGreen));
    bool failureLogged = false;
    for (const auto& [colour, text] : view.log)
        failureLogged |= colour == kRed && text.rfind(path + " saving of file failed (", 0) == 0 &&
                         text.size() > 6 && text.substr(text.size() - 6) == "....\r\n";
    EXPECT_TRUE(failureLogged);
    EXPECT_EQ(batch.report.packages[0].result, PackageResult::SaveFailed);
    EXPECT_TRUE(Exists(tmp / "out/TAVRINREP_Blocked.odb/keep"));
    EXPECT_FALSE(Exists(tmp / "out/Blocked.odb_MediaContent"));
}

TEST_F(Batches, FailuresToOpenOrFindAnythingAreLoggedAndWriteNothing)
{
    const std::string missing = tmp / "gone.odb";
    view.jobs.push_back({missing, 0});
    const std::string junk = AddJob("junk.odb", "<html>no package here</html>");
    const std::string empty = AddJob("empty.odb", "");
    // Headers that name no member with data: a directory entry and a nameless header.
    const std::string hollow = AddJob("hollow.odb", LocalHeader("forms/", 0, 0, 0) + LocalHeader("", 0, 4, 4) + "data");
    batch.Repair();
    ASSERT_FALSE(view.messages.empty());
    EXPECT_EQ(view.messages[0], "No such file or directory");
    EXPECT_TRUE(Logged(missing + " extraction of file failed.Please contact at " + kSupportAddress +
                           " for further assitance.\r\n",
                       kBlack));
    EXPECT_TRUE(Logged(junk + " extraction of file failed. Please contact at " + kSupportAddress +
                           " for further assitance.\r\n",
                       kBlack));
    // Each package that opened but held nothing says what it was instead, in red and in the report.
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {junk, "no ZIP member header in its 28 bytes, it is not a database package"},
        {empty, "the file is empty (0 bytes), there is nothing in it to recover"},
        {hollow, "ZIP member headers were found in its 70 bytes, but none names a member with data"},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(Logged(c.path + " " + c.reason + "....\r\n", kRed)) << c.path;
        const auto& packages = batch.report.packages;
        const auto it = std::find_if(packages.begin(), packages.end(), [&](const PackageReport& p) { return p.path == c.path; });
        ASSERT_NE(it, packages.end());
        EXPECT_EQ(it->result, PackageResult::NothingFound);
        EXPECT_EQ(it->nothingFound, c.reason);
    }
    EXPECT_EQ(view.jobs[0].state, 0);
    EXPECT_EQ(view.jobs[1].state, 1);

    EXPECT_EQ(batch.Save(), 1);
    EXPECT_TRUE(Logged(missing + " cannot be saved,as it is not Repaired.\r\n", kRed));
    EXPECT_TRUE(Logged(junk + " saving of file skipped, nothing was recovered from it....\r\n", kRed));
    EXPECT_TRUE(FilesUnder(tmp / "out").empty());
}

TEST_F(Batches, SaveRefusesABadDestinationAndARunningBatch)
{
    AddJob("a.odb", SmallPackage("A"));
    batch.Repair();
    const std::size_t before = view.events.size();
    for (const std::string& destination : {std::string(), tmp / "missing", tmp / "a.odb"}) {
        view.destination = destination;
        EXPECT_EQ(batch.Save(), 0) << destination;
    }
    EXPECT_EQ(view.events.size(), before + 3);
    EXPECT_EQ(view.messages.back(), "Please select a valid folder path.");

    batch.running = 1;
    EXPECT_FALSE(StartSave(batch.context));
    EXPECT_EQ(view.messages.back(), "Please stop the running process before saving the file(s).");
}

TEST_F(Batches, ClosingMessageLinksTheDestinationAsTyped)
{
    // Our renderer replaces entities before it reads tags and ends a tag at the first
    // ">": the link must survive both, or be left out when no tag can carry the path.
    const std::string intro = "File(s) saving process has been completed.Saved file(s) location is:<br>";
    AddJob("a.odb", SmallPackage("A"));
    batch.Repair();
    for (const auto& [folder, html] : std::vector<std::pair<std::string, std::string>>{
             {"plain", "<a href='@plain/'>@plain/</a>"},
             {"R&D", "<a href='@R&amp;D/'>@R&amp;D/</a>"},
             {"John's", "<a href=\"@John's/\">@John's/</a>"},
             {"a <2>", "@a &lt;2>/"},
             {"both'\"", "@both'\"/"},
         }) {
        SCOPED_TRACE(folder);
        fs::create_directory(tmp / folder);
        view.destination = tmp / (folder + "/");
        EXPECT_EQ(batch.Save(), 1);
        std::string expected = html;
        for (std::size_t at; (at = expected.find('@')) != std::string::npos;)
            expected.replace(at, 1, tmp.path() + "/");
        EXPECT_EQ(view.messages.back(), intro + expected);
        EXPECT_TRUE(Exists(tmp / (folder + "/TAVRINREP_a.odb")));
        EXPECT_EQ(view.events.back().rfind("message 0x40 owned Tavrin Lumiq: ", 0), 0u);
    }
}

TEST_F(Batches, RepairWipesTheWorkspaceOfAnEarlierRun)
{
    AddJob("a.odb", SmallPackage("A"));
    fs::create_directories(tmp / "ws/old.odb.0");
    WriteFile(tmp / "ws/old.odb.0/stale", "x");
    batch.Repair();
    EXPECT_FALSE(Exists(tmp / "ws/old.odb.0"));
    EXPECT_TRUE(Exists(tmp / "ws/a.odb.0/mimetype"));
}

} // namespace
} // namespace tavrin
