#include "engine/RepairBatch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/BatchLog.h"
#include "engine/CentralDirectory.h"
#include "engine/HsqldbCompletion.h"
#include "engine/ManifestRepair.h"
#include "engine/MemberExtractor.h"
#include "engine/PackageScanner.h"
#include "engine/Workspace.h"
#include "platform/FileDescriptor.h"

namespace tavrin {
namespace {

std::string OpenFailedLine(const std::string& path)
{
    return path + " extraction of file failed.Please contact at " + kSupportAddress + " for further assitance.\r\n";
}

// Why a package that opened gave nothing to extract, for a user who expected a
// database: an empty file and a file that is no ZIP package at all are the usual
// cases (a failed download, a wrong file picked), and say so plainly.
std::string NothingFoundReason(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return "no package member could be read from it";
    if (info.st_size == 0)
        return "the file is empty (0 bytes), there is nothing in it to recover";
    const platform::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    bool headerSeen = false;
    if (file.IsOpen()) {
        // Chunks overlap by three bytes so a signature across two reads is still seen.
        std::vector<char> buffer(std::size_t{1} << 16);
        std::size_t kept = 0;
        for (;;) {
            const ssize_t got = ::read(file.Get(), buffer.data() + kept, buffer.size() - kept);
            if (got <= 0)
                break;
            const std::size_t filled = kept + static_cast<std::size_t>(got);
            if (::memmem(buffer.data(), filled, "PK\3\4", 4) != nullptr) {
                headerSeen = true;
                break;
            }
            kept = std::min<std::size_t>(filled, 3);
            std::memmove(buffer.data(), buffer.data() + filled - kept, kept);
        }
    }
    const std::string size = std::to_string(static_cast<std::uint64_t>(info.st_size));
    if (!headerSeen)
        return "no ZIP member header in its " + size + " bytes, it is not a database package";
    return "ZIP member headers were found in its " + size + " bytes, but none names a member with data";
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
        ScannedPackage package; // read by the scan and the extraction alike
        if (context.running->load() == 0) {
            LogStoppedJobs(context, i, count, " file is not extracting as process has been stop by the user.... \r\n",
                           " not Repaired....\r\n", PackageResult::StoppedBefore);
            break;
        }

        PackageReport* report = ReportFor(context, i, path);
        std::string openError = workspace.error;
        if (!workspace.usable || ScanPackage(path, context, scanList, &openError, &package) == 0) {
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
            // A central directory that survived still records the CRC of members whose
            // own headers lost it, so they are checked like the others.
            SupplyCentralDirectoryCrcs(package.fd(), package.length(), scanList);
            // The database completion needs the members' outcomes even when no report was asked for.
            PackageReport unreported;
            PackageReport* extraction = report != nullptr ? report : &unreported;
            const int extracted = ExtractPackage(folder, path, scanList, context, extraction, &package);
            package.Close();
            if (extracted == 0) {
                view.AddLogLine(path + " extraction of file failed. Please contact at " + kSupportAddress +
                                    " for further assitance.\r\n",
                                kBlack);
                const std::string reason = package.readError.empty()
                                               ? NothingFoundReason(path)
                                               : "reading it failed (" + package.readError + "), nothing could be read from it";
                view.AddLogLine(path + " " + reason + "....\r\n", kRed);
                if (report != nullptr) {
                    report->result = PackageResult::NothingFound;
                    report->nothingFound = reason;
                }
            } else if (package.membersRecovered == 0) {
                // The folder holds only what the repair wrote itself; saved, it would only
                // look like a repaired database.
                const std::uint64_t found =
                    scanList.size() + package.lost.size() + package.lostNotKept + package.brokenNotKept;
                const std::string reason = "none of the " + std::to_string(found) + " members found could be recovered";
                view.AddLogLine(path + " " + reason + ", there is nothing to save....\r\n", kRed);
                view.AddLogLine(path + " not Repaired....\r\n", kRed);
                view.AddLogLine(kSeparatorLine, kBlack);
                if (report != nullptr) {
                    report->result = PackageResult::NothingRecovered;
                    report->error = reason;
                }
                view.SetJobState(i, 0);
                view.SetProgressPosition(ProgressBar::Total, i + 1);
                continue;
            } else {
                for (DatabaseCompletion& completion : CompleteHsqldb(folder, extraction->members)) {
                    view.AddLogLine(path + " " + CompletionLogText(completion), completion.rowsMayBeLost || completion.namesGuessed ? kRed : kBlack);
                    extraction->databaseCompletions.push_back(std::move(completion));
                }
                if (WriteMissingMimetype(folder))
                    view.AddLogLine(path + " mimetype was not recovered, a new one is written....\r\n", kBlack);
                const ManifestAction manifest = RepairManifest(folder);
                if (const std::string text = ManifestLogText(manifest); !text.empty())
                    view.AddLogLine(path + " " + text, manifest == ManifestAction::Failed ? kRed : kBlack);
                view.AddLogLine(path + " preview of file is available....\r\n", kBlack);
                view.AddLogLine(path + "  Repaired....\r\n", kGreen);
                view.AddLogLine(kSeparatorLine, kBlack);
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
