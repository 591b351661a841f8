#include "engine/SaveBatch.h"

#include <fcntl.h>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <set>
#include <utility>
#include <vector>
#include <string>

#include "engine/BatchJobs.h"
#include "engine/BatchLog.h"
#include "engine/ControlStates.h"
#include "engine/HeldFolder.h"
#include "engine/PackageOutcome.h"
#include "engine/PackagesInFile.h"
#include "engine/PictureWalk.h"
#include "engine/SaveNameTurns.h"
#include "engine/TextUtil.h"
#include "engine/Workspace.h"
#include "platform/FileDescriptor.h"
#include "platform/FolderEntries.h"
#include "platform/SystemError.h"
#include "zip/FolderZipper.h"

namespace tavrin {
namespace {

// True when the tree holds at least one regular file (symbolic links are not followed).
bool HasFiles(const std::string& folder)
{
    std::vector<platform::FolderEntry> entries;
    platform::ListFolderEntries(folder, entries);
    return std::any_of(entries.begin(), entries.end(), [&](const platform::FolderEntry& entry) {
        return entry.kind == platform::FolderEntry::File ||
               (entry.kind == platform::FolderEntry::Folder && HasFiles(folder + "/" + entry.name));
    });
}

bool IsFolder(const std::string& path)
{
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The closing message links the destination as typed. Our renderer replaces entities
// before it reads tags and ends a tag at its first ">", so the text escapes only "&" and
// "<", the link is quoted with a quote the path does not hold, and a path that no tag
// can carry ("<", ">" or both quotes in it) is shown without a link.
std::string SaveReportHtml(const std::string& destination)
{
    std::string text;
    for (const char c : destination) {
        switch (c) {
        case '&': text += "&amp;"; break;
        case '<': text += "&lt;"; break;
        default: text += c;
        }
    }
    const std::string intro = "File(s) saving process has been completed.Saved file(s) location is:<br>";
    const bool hasApostrophe = destination.find('\'') != std::string::npos;
    const bool hasQuote = destination.find('"') != std::string::npos;
    if (destination.find_first_of("<>") != std::string::npos || (hasApostrophe && hasQuote))
        return intro + text;
    std::string target;
    for (const char c : destination)
        target += c == '&' ? std::string("&amp;") : std::string(1, c);
    const char quote = hasApostrophe ? '"' : '\'';
    return intro + "<a href=" + quote + target + quote + ">" + text + "</a>";
}

// "Sales.odb" the second time in one batch becomes "Sales (2).odb", so no output of
// this batch is replaced by a later job of the same file name; `taken` also refuses
// names whose output would land on a package of the batch.
template <typename Taken>
std::string DistinctName(const std::string& fileName, const Taken& taken)
{
    if (!taken(fileName))
        return fileName;
    const auto dot = fileName.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot != 0;
    const std::string stem = hasExtension ? fileName.substr(0, dot) : fileName;
    const std::string extension = hasExtension ? fileName.substr(dot) : std::string();
    for (int k = 2;; ++k) {
        std::string candidate = stem + " (" + std::to_string(k) + ")" + extension;
        if (!taken(candidate))
            return candidate;
    }
}

// "Sales.odb" as the name of the file's package `number`: "Sales-2.odb".
std::string NumberedFileName(const std::string& fileName, std::size_t number)
{
    const auto dot = fileName.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot != 0;
    const std::string suffix = "-" + std::to_string(number);
    return hasExtension ? fileName.substr(0, dot) + suffix + fileName.substr(dot) : fileName + suffix;
}

std::string HtmlEscaped(const std::string& text)
{
    std::string html;
    for (const char c : text) {
        switch (c) {
        case '&': html += "&amp;"; break;
        case '<': html += "&lt;"; break;
        case '>': html += "&gt;"; break;
        default: html += c;
        }
    }
    return html;
}

// Copies the pictures of `folder` into destination/mediaName, by names relative to the
// destination: a link in the media folder's place is never followed (its target would
// be written into). Returns the media folder when it holds pictures afterwards.
std::string SaveMedia(BatchReporter& view, const std::string& path, const std::string& folder,
                      const std::string& destination, const std::string& mediaName, std::vector<std::string>& notCopied)
{
    const platform::FileDescriptor destinationDir(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (destinationDir.IsOpen())
        ::mkdirat(destinationDir.Get(), mediaName.c_str(), 0755);
    const platform::FileDescriptor mediaDir(
        destinationDir.IsOpen()
            ? ::openat(destinationDir.Get(), mediaName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
            : -1);
    const std::string why = errno == ELOOP || errno == ENOTDIR ? std::string("it is a link or not a folder")
                                                               : platform::LastSystemErrorText();
    std::string kept;
    if (!mediaDir.IsOpen()) {
        CopyPictures(folder, -1, &notCopied);
        if (!notCopied.empty())
            view.AddLogLine(path + " media folder " + PrintableName(mediaName) + " cannot be used (" + why +
                                "), its pictures are not copied....\r\n",
                            kRed);
        else
            view.AddLogLine(path + " no media content is present in the file....\r\n", kBlack);
        return kept;
    }
    CopyPictures(folder, mediaDir.Get(), &notCopied);
    for (const std::string& picture : notCopied)
        view.AddLogLine(path + " picture " + PrintableName(picture) + " could not be copied into the media folder....\r\n",
                        kRed);
    if (::unlinkat(destinationDir.Get(), mediaName.c_str(), AT_REMOVEDIR) == 0) {
        if (notCopied.empty())
            view.AddLogLine(path + " no media content is present in the file....\r\n", kBlack);
    } else {
        view.AddLogLine(path + " Media extraction is done....\r\n", kBlack);
        kept = destination + mediaName;
    }
    return kept;
}

// Saves one repaired job's package folder as `output`, with its pictures beside it on
// request; `saved` tells whether the archive was written.
void SaveJob(BatchReporter& view, const std::string& path, const std::string& folder, const std::string& destination,
             const std::string& name, const std::string& output, PackageReport& report, bool& saved)
{
    // A package from which nothing was recovered would give an empty archive
    // that only looks like a repaired database.
    const std::shared_ptr<const HeldFolder> held = HeldFolder::Of(folder);
    if (!HasFiles(folder) && (held == nullptr || held->empty())) {
        view.AddLogLine(path + " saving of file skipped, nothing was recovered from it....\r\n", kRed);
        report.result = PackageResult::SaveFailed;
        report.error = "nothing was recovered";
        return;
    }
    // An earlier output of that name is replaced only when the user says so.
    struct stat existing {};
    if (::lstat(output.c_str(), &existing) == 0 &&
        view.MessageBox(HtmlEscaped("TAVRINREP_" + PrintableName(name)) +
                            " already exists in the destination folder. Do you want to replace it?",
                        "Tavrin Lumiq", kMbYesNoQuestion) != kIdYes) {
        view.AddLogLine(path + " saving of file skipped, TAVRINREP_" + PrintableName(name) +
                            " already exists in the destination folder....\r\n",
                        kRed);
        report.result = PackageResult::SaveFailed;
        report.error = "TAVRINREP_" + name + " already exists";
        return;
    }
    zip::FolderZipper zipper;
    zipper.SetMimetypeFirst(true);
    if (held != nullptr)
        zipper.SetMemoryFiles(&held->files());
    zip::ZipFolderResult zipped = zipper.ZipFolder(folder, output);
    if (!zipped.complete) {
        const std::string why = zipped.error.empty() ? "the archive could not be written" : zipped.error;
        view.AddLogLine(path + " saving of file failed (" + why + ")....\r\n", kRed);
        report.result = PackageResult::SaveFailed;
        report.error = why;
        return;
    }
    saved = true;
    for (const std::string& leftOut : zipped.leftOut)
        view.AddLogLine(path + " member " + PrintableName(leftOut) + " could not be added to the saved file....\r\n",
                        kRed);
    std::vector<std::string> notCopied;
    std::string mediaFolder;
    if (view.ExtractMediaChecked())
        mediaFolder = SaveMedia(view, path, folder, destination, name + "_MediaContent", notCopied);
    report.outputPath = output;
    report.mediaFolder = mediaFolder;
    report.leftOut = zipped.leftOut;
    report.picturesNotCopied = notCopied;
    report.result = HasLosses(report) ? PackageResult::SavedWithLosses : PackageResult::Saved;
    view.AddLogLine(path + " saving of file done....\r\n", kGreen);
}

} // namespace

bool StartSave(ThreadContext& context)
{
    if (context.running->load() == 1) {
        context.view->MessageBox("Please stop the running process before saving the file(s).", "Tavrin Lumiq",
                                 kMbOkInformation);
        return false;
    }
    return true;
}

int SaveThreadProc(ThreadContext& context)
{
    BatchReporter& view = *context.view;
    WindowView& window = WindowOf(context);
    std::string destination = view.DestinationText();
    if (!IsFolder(destination)) {
        view.MessageBox("Please select a valid folder path.", "Tavrin Lumiq", kMbOkInformation);
        return 0;
    }
    const std::string asEntered = destination;

    context.running->store(1);
    view.SetProgressPosition(ProgressBar::File, 0);
    view.SetProgressPosition(ProgressBar::Total, 0);
    view.ClearLog();
    if (destination.back() != '/')
        destination += '/';
    const int count = view.JobCount();
    view.ShowTotalProgressOnly(true);
    ShowSaveRunning(window);
    view.SetProgressRange(ProgressBar::Total, count);
    view.SetProgressPosition(ProgressBar::Total, 0);

    SaveNameTurns names;
    // A job may be the output of an earlier repair lying in the destination: saving
    // another job must never replace it.
    std::set<std::pair<dev_t, ino_t>> jobSources;
    for (int i = 0; i < count; ++i) {
        struct stat info {};
        if (::stat(view.JobPath(i).c_str(), &info) == 0)
            jobSources.emplace(info.st_dev, info.st_ino);
    }
    auto isJobSource = [&](const std::string& name) {
        struct stat info {};
        return ::stat((destination + "TAVRINREP_" + name).c_str(), &info) == 0 &&
               jobSources.count({info.st_dev, info.st_ino}) != 0;
    };

    // Every job gets its report; the front end's, when it asked for one.
    BatchReport unreported;
    BatchReport& batch = context.report != nullptr ? *context.report : unreported;
    if (batch.packages.size() < static_cast<std::size_t>(count))
        batch.packages.resize(static_cast<std::size_t>(count)); // no job's entry moves while jobs run
    BatchJobSteps steps;
    steps.stopsBefore = [&](int i) { return view.JobState(i) == 1 && context.running->load() == 0; };
    steps.run = [&](int i, ThreadContext& job) {
        BatchReporter& log = *job.view;
        const std::string path = log.JobPath(i);
        PackageReport& report = ReportFor(batch, i, path);
        names.WaitForTurn(i);
        if (log.JobState(i) != 1) {
            names.EndTurn();
            log.AddLogLine(path + " cannot be saved,as it is not Repaired.\r\n", kRed);
            // A reason the repair recorded (the package would not open, the repair was stopped) says more.
            if (report.result == PackageResult::NotStarted || report.result == PackageResult::Repaired ||
                report.result == PackageResult::NothingFound)
                report.result = PackageResult::NotRepaired;
            log.AddLogLine(kSeparatorLine, kBlack);
            log.SetProgressPosition(ProgressBar::Total, i + 1);
            return;
        }
        const std::string fileName = FileNameOf(path);
        const std::string name = DistinctName(fileName, [&](const std::string& candidate) {
            return names.SavedBefore(candidate) || isJobSource(candidate);
        });
        const std::string output = destination + "TAVRINREP_" + name;
        if (name == fileName)
            log.AddLogLine(path + " saving of file starts....\r\n", kBlack);
        else if (names.SavedBefore(fileName))
            log.AddLogLine(path + " saving of file starts as TAVRINREP_" + name +
                               ", as a file of the same name was saved before in this batch....\r\n",
                           kBlack);
        else
            log.AddLogLine(path + " saving of file starts as TAVRINREP_" + name + ", as TAVRINREP_" + fileName +
                               " is one of the files being saved....\r\n",
                           kBlack);
        names.StartSaving(name);
        // The further packages of the file, saved beside the first and numbered after its
        // name: their names are chosen in this job's turn too.
        const std::string folder = PackageFolder(path, i);
        std::vector<std::pair<std::string, std::string>> furtherNames; // folder, name
        for (std::size_t number = 2; number <= kMaxPackagesInFile; ++number) {
            const std::string furtherFolder = FurtherPackageFolder(folder, number);
            if (!IsRealDirectory(furtherFolder))
                break;
            const std::string furtherName = DistinctName(NumberedFileName(name, number), [&](const std::string& candidate) {
                return names.SavedBefore(candidate) || isJobSource(candidate);
            });
            names.StartSaving(furtherName);
            furtherNames.emplace_back(furtherFolder, furtherName);
        }
        names.EndTurn();
        bool saved = false;
        SaveJob(log, path, folder, destination, name, output, report, saved);
        names.FinishSaving(name, saved);
        for (std::size_t f = 0; f < furtherNames.size(); ++f) {
            const auto& [furtherFolder, furtherName] = furtherNames[f];
            const std::size_t number = f + 2;
            if (report.furtherPackages.size() < number - 1)
                report.furtherPackages.resize(number - 1);
            PackageReport& further = report.furtherPackages[number - 2];
            further.path = path;
            further.packageNumber = number;
            further.packageFolder = furtherFolder;
            const std::string logPath = PackageLogPath(path, number);
            log.AddLogLine(logPath + " saving of file starts as TAVRINREP_" + furtherName + "....\r\n", kBlack);
            bool furtherSaved = false;
            SaveJob(log, logPath, furtherFolder, destination, furtherName, destination + "TAVRINREP_" + furtherName,
                    further, furtherSaved);
            names.FinishSaving(furtherName, furtherSaved);
        }
        log.AddLogLine(kSeparatorLine, kBlack);
        log.SetProgressPosition(ProgressBar::Total, i + 1);
    };
    if (const int stoppedAt = RunBatchJobs(context, count, steps); stoppedAt < count)
        LogStoppedJobs(view, batch, stoppedAt, count,
                       " file is not saving as process has been stop by the user.... \r\n", " not saved....\r\n",
                       PackageResult::SaveStopped);

    view.SetProgressPosition(ProgressBar::Total, count);
    view.AddLogLine("Saving processing completed....\r\n", kBlack);
    view.AddLogLine(kClosingLine, kBlack);
    view.ShowProgressControls(false);
    context.running->store(0);
    view.ShowTotalProgressOnly(false);
    ShowSaveFinished(window);
    view.MessageBox(SaveReportHtml(asEntered), "Tavrin Lumiq", kMbOkInformation, true);
    return 1;
}

} // namespace tavrin
