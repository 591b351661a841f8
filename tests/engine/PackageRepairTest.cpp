#include "engine/PackageRepair.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>

#include "RecordingView.h"
#include "TestPackages.h"

namespace tavrin {
namespace {

using namespace test;

// The log texts after the package path, in order.
std::vector<std::string> LoggedAfter(const RecordingView& view, const std::string& path)
{
    std::vector<std::string> texts;
    for (const auto& [colour, text] : view.log)
        texts.push_back(text.rfind(path, 0) == 0 ? text.substr(path.size()) : text);
    return texts;
}

TEST(PackageRepair, EveryStepRunsInOrderAndTheReportSaysWhatEachDid)
{
    TempFolder tmp;
    const std::string path = tmp / "Sales.odb";
    const Bytes script = "CREATE USER SA PASSWORD \"\"\nGRANT DBA TO SA\n";
    WriteFile(path, StoredMember("caf\xE9.txt", "menu") + DeflatedMember("database/script", script));
    RecordingView view;
    std::atomic<int> running{1};
    ThreadContext context{&view, &running, nullptr}; // no report asked for: it is made all the same
    const PackageReport report = RepairPackage(RepairJob{path, tmp / "Sales.odb0", ""}, context);

    EXPECT_EQ(report.result, PackageResult::Repaired);
    EXPECT_EQ(report.path, path);
    EXPECT_EQ(report.packageFolder, tmp / "Sales.odb0");
    ASSERT_EQ(report.members.size(), 2u);
    ASSERT_EQ(report.renamedNames.size(), 1u);
    EXPECT_TRUE(report.contentXmlRegenerated);
    for (const char* made : {"caf%E9.txt", "database/script", "content.xml", "mimetype", "META-INF/manifest.xml"})
        EXPECT_TRUE(Exists(tmp / ("Sales.odb0/" + std::string(made)))) << made;
    const std::vector<std::string> expected = {
        " file is open....\r\n",
        " file is extracted....\r\n",
        " file is closed....\r\n",
        " the name caf\\xe9.txt cannot be read by LibreOffice (it would refuse the whole package), it is saved as "
        "caf%E9.txt....\r\n",
        " mimetype was not recovered, a new one is written....\r\n",
        " META-INF/manifest.xml was not recovered, a new one lists every recovered member....\r\n",
        " preview of file is available....\r\n",
        "  Repaired....\r\n",
        std::string(85, '*') + "\r\n",
    };
    EXPECT_EQ(LoggedAfter(view, path), expected);
}

TEST(PackageRepair, ARefusedJobIsNeitherOpenedNorGivenAFolder)
{
    TempFolder tmp;
    const std::string path = tmp / "Sales.odb";
    WriteFile(path, StoredMember("mimetype", "application/vnd.oasis.opendocument.base"));
    RecordingView view;
    std::atomic<int> running{1};
    ThreadContext context{&view, &running, nullptr};
    const PackageReport report = RepairPackage(RepairJob{path, tmp / "Sales.odb0", "the work folder is not ours"}, context);
    EXPECT_EQ(report.result, PackageResult::OpenFailed);
    EXPECT_EQ(report.error, "the work folder is not ours");
    EXPECT_TRUE(view.messages.empty());
    ASSERT_EQ(view.log.size(), 1u);
    EXPECT_NE(view.log[0].second.find(" extraction of file failed.Please contact at "), std::string::npos);
    EXPECT_FALSE(Exists(tmp / "Sales.odb0"));
}

TEST(PackageRepair, TheJobStateFollowsTheResult)
{
    const struct {
        PackageResult result;
        std::optional<int> state;
    } cases[] = {
        {PackageResult::Repaired, 1},
        {PackageResult::NothingFound, 1}, // opened and tried: Save then says it has nothing
        {PackageResult::NothingRecovered, 0},
        {PackageResult::StoppedBefore, 0},
        {PackageResult::OpenFailed, std::nullopt}, // left as it was
    };
    for (const auto& c : cases)
        EXPECT_EQ(JobStateAfterRepair(c.result), c.state) << ToString(c.result);
}

} // namespace
} // namespace tavrin
