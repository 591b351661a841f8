#include "engine/RepairBatch.h"

#include <optional>
#include <string>

#include "engine/BatchJobs.h"
#include "engine/BatchLog.h"
#include "engine/ControlStates.h"
#include "engine/PackageRepair.h"
#include "engine/Workspace.h"

namespace tavrin {

void StartRepair(ThreadContext& context)
{
    BatchReporter& view = *context.view;
    WindowView& window = WindowOf(context);
    if (IsRealDirectory(GetWorkspaceRoot())) {
        ShowWorkspaceReleased(window);
        WipeWorkspace();
    }
    ShowRepairStarting(window);
    context.running->store(1);
    view.ClearLog();
    view.SetProgressPosition(ProgressBar::File, 0);
    view.SetProgressPosition(ProgressBar::Total, 0);
    if (context.report != nullptr)
        context.report->packages.clear();
}

int RepairThreadProc(ThreadContext& context)
{
    BatchReporter& view = *context.view;
    WindowView& window = WindowOf(context);
    const int count = view.JobCount();
    // The root must be our own private folder before anything is extracted into it.
    const WorkspaceCheck workspace = EnsureWorkspaceRoot();
    if (!workspace.usable)
        view.MessageBox("The work folder cannot be used: " + workspace.error, "Tavrin Lumiq", kMbOkInformation);

    view.ShowProgressControls(true);
    ShowRepairRunning(window);
    view.SetProgressRange(ProgressBar::Total, count);
    view.SetProgressPosition(ProgressBar::Total, 0);

    // Every job gets its report; the front end's, when it asked for one.
    BatchReport unreported;
    BatchReport& batch = context.report != nullptr ? *context.report : unreported;
    if (batch.packages.size() < static_cast<std::size_t>(count))
        batch.packages.resize(static_cast<std::size_t>(count)); // no job's entry moves while jobs run
    BatchJobSteps steps;
    steps.stopsBefore = [&context](int) { return context.running->load() == 0; };
    steps.run = [&batch, &workspace](int i, ThreadContext& job) {
        BatchReporter& log = *job.view;
        const std::string path = log.JobPath(i);
        PackageReport& report = ReportFor(batch, i, path);
        report = RepairPackage(RepairJob{path, PackageFolder(path, i), workspace.error}, job);
        std::optional<int> state = JobStateAfterRepair(report.result);
        // A file whose first package gave nothing may still hold others to save.
        for (const PackageReport& further : report.furtherPackages)
            if (further.result == PackageResult::Repaired)
                state = 1;
        if (state)
            log.SetJobState(i, *state);
        log.SetProgressPosition(ProgressBar::Total, i + 1);
    };
    if (const int stoppedAt = RunBatchJobs(context, count, steps); stoppedAt < count)
        LogStoppedJobs(view, batch, stoppedAt, count,
                       " file is not extracting as process has been stop by the user.... \r\n", " not Repaired....\r\n",
                       PackageResult::StoppedBefore);

    view.SetProgressPosition(ProgressBar::Total, count);
    view.AddLogLine("Repairing process completed....\r\n", kBlack);
    view.AddLogLine(kClosingLine, kBlack);
    context.running->store(0);
    view.ShowProgressControls(false);
    ShowRepairFinished(window);
    return 1;
}

bool ConfirmStop(ThreadContext& context)
{
    if (context.view->MessageBox("Are you sure to stop the running process?", "Tavrin Lumiq", kMbYesNoQuestion) != kIdYes)
        return false;
    ShowStopRequested(WindowOf(context));
    context.running->store(0);
    return true;
}

} // namespace tavrin
