#include "cli/RepairRun.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "cli/JsonReport.h"
#include "cli/TerminalView.h"
#include "engine/PackageOutcome.h"
#include "engine/PackageScanner.h"
#include "engine/RepairBatch.h"
#include "engine/RunFolder.h"
#include "engine/SaveBatch.h"
#include "engine/TextUtil.h"
#include "engine/UnsizedMemberRecovery.h"
#include "engine/Workspace.h"
#include "platform/FileDescriptor.h"
#include "platform/FolderEntries.h"
#include "platform/PathJoin.h"
#include "platform/SystemError.h"

namespace tavrin::cli {
namespace {

constexpr int kExitInterrupted = 130;
constexpr const char* kRunFolderPrefix = "tavrin-repair";
// The hidden staging folder in the output folder: .tavrin-repair-XXXXXX.
constexpr const char* kStagingPrefix = ".tavrin-repair";

sigset_t StopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1})
        sigaddset(&set, signal);
    return set;
}

// Paths and names reach the terminal as PrintableName shows them.
void Error(const std::string& path, const std::string& text)
{
    std::fprintf(stderr, "tavrin-repair: %s%s\n", path.empty() ? "" : (PrintableName(path) + ": ").c_str(),
                 PrintableName(text).c_str());
    std::fflush(stderr);
}

bool IsFolder(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The names in `folder` ("." and ".." left out); none when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<platform::FolderEntry> entries;
    platform::ListFolderEntries(folder, entries);
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (platform::FolderEntry& entry : entries)
        names.push_back(std::move(entry.name));
    return names;
}

// Renames `from` to `to`, never replacing what is at `to` unless `replace`.
int MoveInto(const std::string& from, const std::string& to, bool replace)
{
    if (replace)
        return ::rename(from.c_str(), to.c_str());
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL)
        return -1;
    // A file system without the flag: the check and the move are two steps there.
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.c_str(), to.c_str());
}

// Takes a folder out of reach of a worker that may still write into it by name, then removes it.
void DiscardTree(const std::string& path)
{
    const std::string away = path + ".discard";
    RemoveFolderTree(MoveInto(path, away, false) == 0 ? away : path);
}

using platform::JoinPath;

// Everything of this run is written under the workspace and a staging folder inside the
// output folder; only finished results are moved into the output folder, so an abort
// leaves nothing behind.
struct RunFolders {
    RunFolder run;               // the private workspace's folder; unused with --keep-workspace
    std::string workspaceRoot;
    RunFolder stagingFolder;     // locked while the run lives, like the workspace's folder
    std::string staging;
    bool keepWorkspace = false;
    bool published = false; // the results are in the output folder already

    void RemoveAll()
    {
        if (!staging.empty())
            DiscardTree(staging);
        staging.clear();
        if (!keepWorkspace && !run.path().empty())
            DiscardTree(run.path());
    }
};

// Signals are taken by one thread with sigwait: the first Ctrl-C stops the batch after
// the current package, the second (or any other stopping signal) aborts the run at once.
class InterruptWatcher {
public:
    InterruptWatcher(std::atomic<int>& running, TerminalView& view, RunFolders& folders, std::mutex& finishing)
        : set_(StopSignals()), running_(running), view_(view), folders_(folders), finishing_(finishing)
    {
        thread_ = std::thread([this] { Watch(); });
    }
    // The signals stay blocked: one that comes now, with the results in place, is let go.
    ~InterruptWatcher()
    {
        done_ = true;
        pthread_kill(thread_.native_handle(), SIGUSR1);
        thread_.join();
    }
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

private:
    void Watch()
    {
        for (;;) {
            int signal = 0;
            if (sigwait(&set_, &signal) != 0)
                continue;
            if (done_)
                return;
            if (signal == SIGUSR1)
                continue;
            if (signal == SIGINT && stops_++ == 0) {
                running_.store(0);
                view_.Notice("stopping after the current package; press Ctrl-C again to abort");
                continue;
            }
            std::lock_guard lock(finishing_);
            folders_.RemoveAll();
            view_.Finish();
            view_.Notice(folders_.published ? "aborted" : "aborted; no output was written");
            ::_exit(kExitInterrupted);
        }
    }

    sigset_t set_;
    std::atomic<int>& running_;
    TerminalView& view_;
    RunFolders& folders_;
    std::mutex& finishing_;
    std::atomic<bool> done_{false};
    std::atomic<int> stops_{0};
    std::thread thread_;
};

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int PrepareWorkspace(const Options& options, RunFolders& folders)
{
    if (!options.keepWorkspace.empty()) {
        folders.keepWorkspace = true;
        const std::string& root = options.keepWorkspace;
        // The batch wipes its workspace and the workspace is made private: the output
        // folder would lose its results and its permissions.
        struct stat workspace {};
        struct stat output {};
        if (::stat(root.c_str(), &workspace) == 0 && ::stat(options.output.c_str(), &output) == 0 &&
            SameFile(workspace, output))
            return UsageError("--keep-workspace: the workspace folder cannot be the output folder");
        if (::mkdir(root.c_str(), 0700) != 0) {
            if (errno != EEXIST) {
                Error(root, platform::LastSystemErrorText());
                return kExitUsage;
            }
            // The batch wipes its workspace first: never hand it a folder with someone's files.
            if (!IsRealDirectory(root) || !FolderEntries(root).empty()) {
                Error(root, "the workspace folder must be new or empty");
                return kExitUsage;
            }
        }
        folders.workspaceRoot = root;
    } else {
        // Runs killed outright (SIGKILL, a power cut) leave their folders: cleared here.
        RunFolder::RemoveStale(kRunFolderPrefix);
        std::string error;
        if (!folders.run.Create(kRunFolderPrefix, &error)) {
            Error("", error);
            return kExitNotAllRepaired;
        }
        folders.workspaceRoot = folders.run.path() + "/BsTmp";
    }
    SetWorkspaceRootOverride(folders.workspaceRoot);
    return kExitSuccess;
}

// Moves the finished results of the staging folder into the output folder. An earlier
// output of the same name is replaced only with --force, and a file given to repair
// never; a media folder of an earlier run takes the new pictures only with --force, and
// only when it is a real folder (a link there would send them elsewhere).
class Publisher {
public:
    Publisher(const Options& options, const std::string& staging) : options_(options), staging_(staging)
    {
        for (const std::string& file : options.files) {
            struct stat info {};
            if (::stat(file.c_str(), &info) == 0)
                inputs_.push_back(info);
            if (::lstat(file.c_str(), &info) == 0)
                inputs_.push_back(info);
        }
    }

    void Publish(PackageReport& package)
    {
        if (!InStaging(package.outputPath))
            return;
        const std::string archive = JoinPath(options_.output, package.outputPath.substr(staging_.size() + 1));
        if (IsInput(archive)) {
            Fail(package, archive, "it is one of the files given to repair, it is not replaced");
            return;
        }
        if (MoveInto(package.outputPath, archive, options_.force) != 0) {
            const int error = errno;
            Fail(package, archive,
                 error == EEXIST ? "already exists; give --force to replace it" : platform::SystemErrorText(error));
            return;
        }
        package.outputPath = archive;
        if (InStaging(package.mediaFolder))
            PublishMedia(package);
        if (HasLosses(package))
            package.result = PackageResult::SavedWithLosses;
    }

private:
    bool InStaging(const std::string& path) const
    {
        return !path.empty() && path.size() > staging_.size() && path.compare(0, staging_.size(), staging_) == 0 &&
               path[staging_.size()] == '/';
    }

    bool IsInput(const std::string& path) const
    {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0)
            return false;
        for (const struct stat& input : inputs_)
            if (SameFile(info, input))
                return true;
        return false;
    }

    static void Fail(PackageReport& package, const std::string& path, const std::string& why)
    {
        Error(path, why);
        package.result = PackageResult::SaveFailed;
        package.error = path + ": " + why;
        package.outputPath.clear();
        package.mediaFolder.clear();
    }

    void PublishMedia(PackageReport& package)
    {
        const std::string from = package.mediaFolder;
        const std::string to = JoinPath(options_.output, from.substr(staging_.size() + 1));
        package.mediaFolder.clear();
        if (MoveInto(from, to, false) == 0) {
            package.mediaFolder = to;
            return;
        }
        std::string why = errno == EEXIST || errno == ENOTEMPTY ? "already exists; give --force to add the pictures to it"
                                                                : platform::LastSystemErrorText();
        std::vector<std::string> pictures = FolderEntries(from);
        std::vector<std::string> notMoved;
        if (options_.force && (errno == EEXIST || errno == ENOTEMPTY)) {
            const platform::FileDescriptor fromFolder(::open(from.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            const platform::FileDescriptor toFolder(::open(to.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            const int fromFd = fromFolder.Get();
            const int toFd = toFolder.Get();
            why = toFd < 0 ? (errno == ELOOP || errno == ENOTDIR ? std::string("it is a link or not a folder")
                                                                 : platform::LastSystemErrorText())
                           : std::string();
            for (const std::string& picture : pictures) {
                if (fromFd < 0 || toFd < 0 || ::renameat(fromFd, picture.c_str(), toFd, picture.c_str()) != 0) {
                    notMoved.push_back(picture);
                    if (why.empty())
                        why = picture + ": " + platform::LastSystemErrorText();
                }
            }
            if (notMoved.size() < pictures.size())
                package.mediaFolder = to;
        } else {
            notMoved = pictures;
        }
        if (notMoved.empty())
            return;
        Error(to, why + " (" + std::to_string(notMoved.size()) + " picture(s) not copied)");
        package.picturesNotCopied.insert(package.picturesNotCopied.end(), notMoved.begin(), notMoved.end());
    }

    const Options& options_;
    const std::string staging_;
    std::vector<struct stat> inputs_;
};

bool WasSaved(PackageResult result)
{
    return result == PackageResult::Saved || result == PackageResult::SavedWithLosses;
}

std::uint64_t Losses(const PackageReport& package)
{
    std::uint64_t count = package.lostNotListed + package.failedNotListed + package.leftOut.size() +
                          package.picturesNotCopied.size();
    for (const MemberReport& member : package.members)
        if (member.outcome != MemberOutcome::Written || member.crcCheck == CrcCheck::Mismatch)
            ++count;
    return count;
}

} // namespace

void TakeOverSignals()
{
    const sigset_t set = StopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

void ReleaseStopSignals()
{
    const sigset_t set = StopSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

int UsageError(const std::string& text)
{
    std::fprintf(stderr, "tavrin-repair: %s\n%s\n", PrintableName(text).c_str(), kTryHelp);
    return kExitUsage;
}

int RunList(const Options& options)
{
    int status = kExitSuccess;
    std::string json = "{\"schema_version\": " + std::to_string(kJsonSchemaVersion) + ", \"packages\": [";
    bool first = true;
    for (const std::string& path : options.files) {
        ScanList entries;
        std::string error;
        const platform::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        const int fd = file.Get();
        struct stat info {};
        bool opened = false;
        if (fd < 0 || ::fstat(fd, &info) != 0) {
            error = platform::LastSystemErrorText();
        } else if (S_ISDIR(info.st_mode)) {
            error = platform::SystemErrorText(EISDIR);
        } else {
            opened = true;
            // The list shows what a repair would extract, members sized by inflation included.
            const std::uint64_t length = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
            UnsizedMemberRecovery sizer(fd, length);
            PackageScanner().Scan(fd, length, entries, &sizer);
            if (entries.empty())
                error = "no package member found, it is not a database package";
        }
        if (!error.empty()) {
            Error(path, error);
            status = kExitNotAllRepaired;
        }
        if (options.json) {
            json += (first ? "\n  " : ",\n  ") + ScanReportJson(path, opened, error, entries);
            first = false;
            continue;
        }
        if (!error.empty())
            continue;
        std::printf("%s: %zu member(s)\n", PrintableName(path).c_str(), entries.size());
        std::printf("  %12s %12s %12s  %s\n", "offset", "compressed", "uncompressed", "name");
        for (const PackageEntry& entry : entries)
            std::printf("  %12llu %12u %12u  %s\n", static_cast<unsigned long long>(entry.dataOffset),
                        static_cast<unsigned>(entry.compressedSize), static_cast<unsigned>(entry.uncompressedSize),
                        PrintableName(entry.name).c_str());
    }
    if (options.json)
        std::printf("%s%s", json.c_str(), first ? "]}\n" : "\n]}\n");
    return status;
}

int RunRepair(const Options& options)
{
    if (!IsFolder(options.output)) {
        struct stat info {};
        return UsageError(PrintableName(options.output) + ": " +
                          (::stat(options.output.c_str(), &info) == 0 ? platform::SystemErrorText(ENOTDIR)
                                                                      : platform::LastSystemErrorText()) +
                          " (the output folder must exist)");
    }
    RunFolders folders;
    if (const int refused = PrepareWorkspace(options, folders); refused != kExitSuccess)
        return refused;
    // A run killed outright (SIGKILL) leaves its staging folder here: cleared by the next run.
    RunFolder::RemoveStaleIn(options.output, kStagingPrefix);
    std::string stagingError;
    if (!folders.stagingFolder.CreateIn(options.output, kStagingPrefix, &stagingError)) {
        Error("", stagingError);
        folders.RemoveAll();
        return kExitNotAllRepaired;
    }
    const std::string staging = folders.stagingFolder.path();
    folders.staging = staging;

    std::atomic<int> running{0};
    std::atomic<bool> outputClosed{false};
    TerminalView::Settings settings;
    settings.logStream = options.quiet ? nullptr : (options.json ? stderr : stdout);
    const char* term = std::getenv("TERM");
    const bool movesCursor = term == nullptr || std::strcmp(term, "dumb") != 0;
    settings.color = settings.logStream != nullptr && ::isatty(::fileno(settings.logStream)) && options.color &&
                     std::getenv("NO_COLOR") == nullptr;
    settings.progress = !options.quiet && movesCursor && ::isatty(STDERR_FILENO);
    // A reader that went away (`| head`) stops the run as a Ctrl-C does.
    settings.onOutputClosed = [&running, &outputClosed] {
        outputClosed = true;
        running.store(0);
    };
    TerminalView view(options.files, staging, options.media, settings);
    view.SetDisplayedPath(staging, options.output);

    BatchReport report;
    ThreadContext context{&view, &running, &report};
    // Several files at once: each file's log is held back and printed in one block, in
    // the order the files were given, so the log, the report and the outputs are those
    // of a run of one file at a time.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    context.jobsAtOnce = options.jobs > 0 ? options.jobs : static_cast<int>(std::min<unsigned>(cores, kMaxJobs));
    // A kept workspace is there to be looked at: every member a file in it.
    context.holdSmallMembers = options.keepWorkspace.empty();
    std::mutex finishing;
    bool anySaved = false;
    bool anyLoss = false;
    bool anyFailed = false;
    {
        InterruptWatcher watcher(running, view, folders, finishing);
        StartRepair(context);
        std::thread(RepairThreadProc, std::ref(context)).join();
        if (!outputClosed && StartSave(context))
            std::thread(SaveThreadProc, std::ref(context)).join();
        view.Finish();

        std::lock_guard lock(finishing);
        Publisher publisher(options, staging);
        for (PackageReport& package : report.packages) {
            publisher.Publish(package);
            for (PackageReport& further : package.furtherPackages)
                publisher.Publish(further);
        }
        folders.published = true;
        for (const PackageReport& package : report.packages) {
            anySaved = anySaved || WasSaved(package.result);
            anyLoss = anyLoss || package.result == PackageResult::SavedWithLosses;
            anyFailed = anyFailed || !WasSaved(package.result);
            // The file's further packages count as outputs of their own.
            for (const PackageReport& further : package.furtherPackages) {
                anyLoss = anyLoss || further.result == PackageResult::SavedWithLosses;
                anyFailed = anyFailed || !WasSaved(further.result);
            }
        }
        anyFailed = anyFailed || report.packages.size() != options.files.size();
        folders.RemoveAll();
    }
    SetWorkspaceRootOverride("");
    const int status = anyFailed ? kExitNotAllRepaired : anyLoss ? kExitSavedWithLosses : kExitSuccess;

    // What was lost is said even under -q, after the lines that said it one by one.
    for (const PackageReport& package : report.packages) {
        if (package.result == PackageResult::SavedWithLosses)
            Error(package.path, "saved with losses (" + std::to_string(Losses(package)) +
                                    " member(s) or picture(s) not recovered whole)");
        for (const PackageReport& further : package.furtherPackages)
            if (further.result == PackageResult::SavedWithLosses)
                Error(package.path, "package " + std::to_string(further.packageNumber) + " saved with losses (" +
                                        std::to_string(Losses(further)) + " member(s) or picture(s) not recovered whole)");
    }
    if (!options.quiet) {
        if (anySaved && !view.FinalMessage().empty())
            view.Notice(view.FinalMessage());
        else if (!anySaved)
            view.Notice("no file was saved");
    }
    if (options.json)
        std::fputs(RunReportJson(report, options.output, status).c_str(), stdout);
    std::fflush(stdout);
    return status;
}

} // namespace tavrin::cli
