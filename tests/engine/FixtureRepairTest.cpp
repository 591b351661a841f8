// Every damaged fixture through the repair and the save batch: the exact transcript of
// what the view was told, and the result checked by an independent ZIP reader against
// the fixture's expected contents.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "BatchRunner.h"
#include "RecordingView.h"
#include "TestPackages.h"
#include "engine/Workspace.h"

namespace tavrin {
namespace {

using namespace test;
namespace fs = std::filesystem;

const std::string kFixtures = TAVRIN_TEST_DATA_DIR "/fixtures";

std::vector<std::string> FixtureNames()
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& item : fs::directory_iterator(kFixtures, error))
        if (item.path().extension() == ".odb")
            names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

void ExpectGolden(const std::string& name, const std::string& transcript)
{
    const std::string path = std::string(TAVRIN_ENGINE_GOLDEN_DIR) + "/" + name;
    if (std::getenv("TAVRIN_UPDATE_GOLDEN") != nullptr) {
        WriteFile(path, transcript);
        return;
    }
    ASSERT_TRUE(Exists(path)) << "no golden transcript " << path << " (run with TAVRIN_UPDATE_GOLDEN=1 and review it)";
    EXPECT_EQ(transcript, ReadFile(path)) << "transcript differs from " << path;
}

class FixtureRepair : public ::testing::TestWithParam<std::string> {};

TEST_P(FixtureRepair, RepairsAndSavesAsExpected)
{
    const std::string fixture = GetParam();
    TempFolder tmp;
    const std::string workspace = tmp / "ws";
    const std::string out = tmp / "out";
    fs::create_directory(out);
    SetWorkspaceRootOverride(workspace);

    RecordingView view;
    view.jobs = {{kFixtures + "/" + fixture, 0}};
    view.destination = out;
    view.Substitute(kFixtures, "<fixtures>");
    view.Substitute(workspace, "<workspace>");
    view.Substitute(out, "<out>");
    BatchRunner batch(view);
    // The transcript records what the batches report, not the window's control states.
    batch.context.window = nullptr;
    batch.Repair();
    EXPECT_EQ(batch.Save(), 1);
    SetWorkspaceRootOverride("");
    ExpectGolden(fs::path(fixture).stem().string() + ".txt", view.Transcript());

    // Nothing but the package folders in the workspace (the first package's and one
    // beside it for each further package of the file), nothing but results in the output.
    ASSERT_EQ(batch.report.packages.size(), 1u);
    const PackageReport& report = batch.report.packages[0];
    const std::string packageFolder = workspace + "/" + fixture + ".0";
    const std::string stem = fs::path(fixture).stem().string();
    std::vector<std::string> folders = {packageFolder};
    std::vector<std::string> outputs = {out + "/TAVRINREP_" + fixture, out + "/" + fixture + "_MediaContent"};
    std::string further;
    for (const PackageReport& next : report.furtherPackages) {
        const std::string number = std::to_string(next.packageNumber);
        folders.push_back(packageFolder + "-" + number);
        outputs.push_back(out + "/TAVRINREP_" + stem + "-" + number + ".odb");
        outputs.push_back(out + "/" + stem + "-" + number + ".odb_MediaContent");
        further += " " + ShellQuote(folders.back()) + " " + ShellQuote(outputs[outputs.size() - 2]);
        EXPECT_EQ(next.result, PackageResult::Saved) << number;
    }
    std::vector<std::string> inWorkspace;
    for (const auto& item : fs::directory_iterator(workspace))
        inWorkspace.push_back(item.path().string());
    std::sort(inWorkspace.begin(), inWorkspace.end());
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(inWorkspace, folders);

    // The members the scan listed; a member whose header the end of the file cut off
    // is reported (and logged), but no scan lists it.
    std::string scan;
    for (const MemberReport& member : report.members)
        if (member.defect != MemberDefect::HeaderCutOff)
            scan += member.name + "\t" + std::to_string(member.compressedSize) + "\t" +
                    std::to_string(member.uncompressedSize) + "\t" + std::to_string(member.dataOffset) + "\n";
    WriteFile(tmp / "scan.tsv", scan);

    const std::string archive = outputs[0];
    const std::string media = outputs[1];
    const PackageResult result = report.result;
    const bool saved = result == PackageResult::Saved || result == PackageResult::SavedWithLosses;
    EXPECT_EQ(Exists(archive), saved);
    for (const auto& item : fs::directory_iterator(out))
        EXPECT_NE(std::find(outputs.begin(), outputs.end(), item.path().string()), outputs.end())
            << "unexpected output " << item.path();

    // The checker reads the extracted members from the folders.
    for (const std::string& folder : folders)
        WriteOutHeldMembers(folder);
    const std::string command = std::string("/usr/bin/python3 ") + ShellQuote(TAVRIN_REPAIR_CHECKER) + " " +
                                ShellQuote(kFixtures + "/expected.json") + " " + ShellQuote(fixture) + " " +
                                ShellQuote(packageFolder) + " " + ShellQuote(tmp / "scan.tsv") + " " +
                                ShellQuote(saved ? archive : "-") + " " + ShellQuote(media) + further;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureRepair, ::testing::ValuesIn(FixtureNames()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                             std::string name = fs::path(param.param).stem().string();
                             std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                             return name;
                         });

} // namespace
} // namespace tavrin
