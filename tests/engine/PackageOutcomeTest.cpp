// The few words a user is told about each package: every fixture through a repair, and
// the save results on top of a repair.
#include <gtest/gtest.h>

#include "BatchRunner.h"
#include "RecordingView.h"
#include "TestPackages.h"
#include "engine/PackageOutcome.h"
#include "engine/Workspace.h"

namespace tavrin {
namespace {

using namespace test;

const std::string kFixtures = TAVRIN_TEST_DATA_DIR "/fixtures";

PackageOutcome OutcomeOfRepairing(const std::string& fixture)
{
    TempFolder tmp;
    SetWorkspaceRootOverride(tmp / "ws");
    RecordingView view;
    view.jobs = {{kFixtures + "/" + fixture, 0}};
    BatchRunner batch(view);
    batch.Repair();
    SetWorkspaceRootOverride("");
    if (batch.report.packages.size() != 1)
        return PackageOutcome::Pending;
    const PackageReport& report = batch.report.packages[0];
    return OutcomeOf(report, FoundNoDamage(report));
}

TEST(PackageOutcome, EachFixtureIsToldWhatBecameOfIt)
{
    const struct {
        const char* fixture;
        PackageOutcome expected;
    } cases[] = {
        {"intact.odb", PackageOutcome::NoDamageFound},
        // LibreOffice's own way of writing: sizes after the data; empty and directory entries.
        {"data-descriptors-with-signature.odb", PackageOutcome::NoDamageFound},
        {"zero-size-members.odb", PackageOutcome::NoDamageFound},
        {"directory-entries.odb", PackageOutcome::NoDamageFound},
        // Every member back whole, but the package as it was is not readable.
        {"no-central-directory.odb", PackageOutcome::Repaired},
        {"garbage-before-first-header.odb", PackageOutcome::Repaired},
        {"two-packages-concatenated.odb", PackageOutcome::Repaired},
        {"data-descriptors-without-signature.odb", PackageOutcome::Repaired},
        {"content-xml-missing.odb", PackageOutcome::Repaired},
        {"content-xml-short.odb", PackageOutcome::Repaired},
        // Something cut, lost or with bytes that miss their CRC.
        {"truncated-in-member.odb", PackageOutcome::RepairedWithLosses},
        {"hole-of-zeros.odb", PackageOutcome::RepairedWithLosses},
        {"flipped-bit-in-deflated-data.odb", PackageOutcome::RepairedWithLosses},
        {"flipped-bytes-in-deflated-member.odb", PackageOutcome::RepairedWithLosses},
        {"not-a-zip.odb", PackageOutcome::NotRepaired},
        {"empty.odb", PackageOutcome::NotRepaired},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(ToString(OutcomeOfRepairing(c.fixture)), ToString(c.expected)) << c.fixture;
}

TEST(PackageOutcome, ASaveThatLeftFilesOutOrFailedChangesWhatIsSaid)
{
    const struct {
        PackageResult result;
        bool noDamage;
        bool hasMembers;
        PackageOutcome expected;
    } cases[] = {
        {PackageResult::NotStarted, false, true, PackageOutcome::Pending},
        {PackageResult::Saved, true, true, PackageOutcome::NoDamageFound},
        {PackageResult::Saved, false, true, PackageOutcome::Repaired},
        {PackageResult::SaveIncomplete, true, true, PackageOutcome::RepairedWithLosses},
        {PackageResult::SaveFailed, false, true, PackageOutcome::NotSaved},
        // Not even a member to save: what the user needs to know is that it was not repaired.
        {PackageResult::SaveFailed, false, false, PackageOutcome::NotRepaired},
        {PackageResult::SaveStopped, false, true, PackageOutcome::NotSaved},
        {PackageResult::NotRepaired, false, true, PackageOutcome::NotRepaired},
        {PackageResult::OpenFailed, false, false, PackageOutcome::NotRepaired},
        {PackageResult::StoppedBefore, false, false, PackageOutcome::NotRepaired},
    };
    for (const auto& c : cases) {
        PackageReport report;
        report.result = c.result;
        if (c.hasMembers)
            report.members.push_back({});
        EXPECT_STREQ(ToString(OutcomeOf(report, c.noDamage)), ToString(c.expected)) << ToString(c.result);
    }

    // Rows that may be gone are a loss even when every file was written whole.
    PackageReport report;
    report.members.push_back({});
    report.result = PackageResult::Saved;
    report.databaseCompletions.push_back({"cut-rows", "database/data", "rows cut", true});
    EXPECT_EQ(OutcomeOf(report, false), PackageOutcome::RepairedWithLosses);
}

} // namespace
} // namespace tavrin
