#include "engine/RepairBatch.h"

#include <sys/stat.h>

#include <string>

#include "engine/ManifestRepair.h"
#include "engine/MemberExtractor.h"
#include "engine/PackageScanner.h"
#include "engine/Workspace.h"

namespace tavrin {
namespace {

const std::string kSeparator = std::string(85, '*') + "\r\n";
const std::string kClosingLine = std::string(64, '_') + "\r\n\r\n";

PackageReport* ReportFor(ThreadContext& context, int index, const std::string& path)
{
    if (context.report == nullptr)
        return nullptr;
    auto& packages = context.report->packages;
    if (packages.size() <= static_cast<std::size_t>(index))
        packages.resize(static_cast<std::size_t>(index) + 1);
    PackageReport& report = packages[static_cast<std::size_t>(index)];
    report.path = path;
    return &report;
}

std::string OpenFailedLine(const std::string& path)
{
    return path + " extraction of file failed.Please contact at " + kSupportAddress + " for further assitance.\r\n";
}

} // namespace

void StartRepair(ThreadContext& context)
{
    WorkView& view = *context.view;
    if (IsRealDirectory(GetWorkspaceRoot())) {
        view.SetPicture("", PictureState::NoText);
        WipeWorkspace();
    }
    view.SetRepairStarted(true);
    view.SetPicture("", PictureState::NotRepaired);
    view.SetHintText("Please wait while .odb file(s) are Repairing....", {{19, 30}});
    view.EnableRepairButtons(false);
    view.ShowStopButton(true, true);
    view.SetSelectEnabled(false);
    context.running->store(1);
    view.SetPicture("", PictureState::Repairing);
    view.ClearLog();
    view.SetProgressPosition(ProgressBar::File, 0);
    view.SetProgressPosition(ProgressBar::Total, 0);
    if (context.report != nullptr)
        context.report->packages.clear();
}

int RepairThreadProc(ThreadContext& context)
{
    WorkView& view = *context.view;
    const int count = view.JobCount();
    // The root must be our own private folder before anything is extracted into it.
    const WorkspaceCheck workspace = EnsureWorkspaceRoot();
    if (!workspace.usable)
        view.MessageBox("The work folder cannot be used: " + workspace.error, "Tavrin Lumiq", kMbOkInformation);

    view.ShowProgressControls(true);
    view.Relayout();
    view.SetProgressRange(ProgressBar::Total, count);
    view.SetProgressPosition(ProgressBar::Total, 0);

    ScanList scanList;
    for (int i = 0; i < count; ++i) {
        const std::string path = view.JobPath(i);
        scanList.clear();
        if (context.running->load() == 0) {
            for (int j = i; j < count; ++j) {
                const std::string stopped = view.JobPath(j);
                view.AddLogLine(stopped + " file is not extracting as process has been stop by the user.... \r\n", kBlack);
                view.AddLogLine(stopped + " not Repaired....\r\n", kRed);
                view.AddLogLine(kSeparator, kBlack);
                view.SetJobState(j, 0);
                if (PackageReport* report = ReportFor(context, j, stopped))
                    report->result = PackageResult::StoppedBefore;
            }
            break;
        }

        PackageReport* report = ReportFor(context, i, path);
        std::string openError = workspace.error;
        if (!workspace.usable || ScanPackage(path, context, scanList, &openError) == 0) {
            view.AddLogLine(OpenFailedLine(path), kBlack);
            if (report != nullptr) {
                report->result = PackageResult::OpenFailed;
                report->error = openError;
            }
        } else {
            const std::string folder = PackageFolder(path, i);
            ::mkdir(folder.c_str(), 0700);
            if (report != nullptr)
                report->packageFolder = folder;
            if (ExtractPackage(folder, path, scanList, context, report) == 0) {
                view.AddLogLine(path + " extraction of file failed. Please contact at " + kSupportAddress +
                                    " for further assitance.\r\n",
                                kBlack);
                if (report != nullptr)
                    report->result = PackageResult::NothingFound;
            } else {
                if (WriteMissingMimetype(folder))
                    view.AddLogLine(path + " mimetype was not recovered, a new one is written....\r\n", kBlack);
                const ManifestAction manifest = RepairManifest(folder);
                if (const std::string text = ManifestLogText(manifest); !text.empty())
                    view.AddLogLine(path + " " + text, manifest == ManifestAction::Failed ? kRed : kBlack);
                view.AddLogLine(path + " preview of file is available....\r\n", kBlack);
                view.AddLogLine(path + "  Repaired....\r\n", kGreen);
                view.AddLogLine(kSeparator, kBlack);
                if (report != nullptr)
                    report->result = PackageResult::Repaired;
            }
            view.SetJobState(i, 1);
        }
        view.SetProgressPosition(ProgressBar::Total, i + 1);
    }

    view.SetProgressPosition(ProgressBar::Total, count);
    view.SetPicture("", PictureState::SelectForPreview);
    view.AddLogLine("Repairing process completed....\r\n", kBlack);
    view.AddLogLine(kClosingLine, kBlack);
    view.SetSelectEnabled(true);
    view.ShowStopButton(false, false);
    view.EnableSaveControls(true);
    view.EnableRepairButtons(true);
    view.SetHintText("Click item in the list to see the preview in right side.\nClick Browse folder to select "
                     "destination path.\nClick Save.... to save .odb file(s)",
                     {{6, 22}, {62, 76}, {110, 118}, {127, 132}});
    context.running->store(0);
    view.ShowProgressControls(false);
    view.Relayout();
    return 1;
}

bool ConfirmStop(ThreadContext& context)
{
    WorkView& view = *context.view;
    if (view.MessageBox("Are you sure to stop the running process?", "Tavrin Lumiq", kMbYesNoQuestion) != kIdYes)
        return false;
    view.ShowStopButton(true, false);
    context.running->store(0);
    return true;
}

} // namespace tavrin
