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
    PackageReport report;
    report.members.push_back({});
    const struct {
        PackageResult result;
        bool noDamage;
        PackageOutcome expected;
    } cases[] = {
        {PackageResult::NotStarted, false, PackageOutcome::Pending},
        {PackageResult::Saved, true, PackageOutcome::NoDamageFound},
        {PackageResult::Saved, false, PackageOutcome::Repaired},
        {PackageResult::SaveIncomplete, true, PackageOutcome::RepairedWithLosses},
        {PackageResult::SaveFailed, false, PackageOutcome::NotSaved},
        {PackageResult::SaveStopped, false, PackageOutcome::NotSaved},
        {PackageResult::NotRepaired, false, PackageOutcome::NotRepaired},
        {PackageResult::OpenFailed, false, PackageOutcome::NotRepaired},
        {PackageResult::StoppedBefore, false, PackageOutcome::NotRepaired},
    };
    for (const auto& c : cases) {
        report.result = c.result;
        EXPECT_STREQ(ToString(OutcomeOf(report, c.noDamage)), ToString(c.expected)) << ToString(c.result);
    }

    // Rows that may be gone are a loss even when every file was written whole.
    report.result = PackageResult::Saved;
    report.databaseCompletions.push_back({"cut-rows", "database/data", "rows cut", true});
    EXPECT_EQ(OutcomeOf(report, false), PackageOutcome::RepairedWithLosses);
}

} // namespace
} // namespace tavrin
