#include "cli/RepairRun.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "cli/JsonReport.h"
#include "cli/TerminalView.h"
#include "engine/PackageScanner.h"
#include "engine/RepairBatch.h"
#include "engine/SaveBatch.h"
#include "engine/TextUtil.h"
#include "engine/UnsizedMemberRecovery.h"
#include "engine/Workspace.h"
#include "platform/FileDescriptor.h"
#include "platform/PathJoin.h"
#include "platform/SystemError.h"

namespace tavrin::cli {
namespace {

constexpr int kExitInterrupted = 130;

void Error(const std::string& text)
{
    std::fprintf(stderr, "tavrin-repair: %s\n", text.c_str());
}

bool IsFolder(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string TemporaryBase()
{
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        }
        ::closedir(dir);
    }
    return names;
}

void RemoveTree(const std::string& path)
{
    if (!IsRealDirectory(path))
        return;
    DeleteFolderTree(path);
    ::rmdir(path.c_str());
}

// Takes a folder out of reach of a worker that may still write into it by name, then removes it.
void DiscardTree(const std::string& path)
{
    const std::string away = path + ".discard";
    RemoveTree(::rename(path.c_str(), away.c_str()) == 0 ? away : path);
}

// Everything of this run is written under the workspace and a staging folder inside the
// output folder; only finished results are moved into the output folder, so an abort
// leaves nothing behind.
struct RunFolders {
    std::string workspaceParent; // removed at exit; empty with --keep-workspace
    std::string workspaceRoot;
    std::string staging;
    bool keepWorkspace = false;
    bool published = false; // the results are in the output folder already

    void RemoveAll()
    {
        if (!staging.empty())
            DiscardTree(staging);
        if (!keepWorkspace && !workspaceParent.empty())
            DiscardTree(workspaceParent);
    }
};

// Signals are taken by one thread with sigwait: the first Ctrl-C stops the batch after
// the current package, the second (or a SIGTERM) aborts the run at once.
class InterruptWatcher {
public:
    InterruptWatcher(std::atomic<int>& running, TerminalView& view, RunFolders& folders, std::mutex& finishing)
        : running_(running), view_(view), folders_(folders), finishing_(finishing)
    {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        sigaddset(&set_, SIGHUP);
        sigaddset(&set_, SIGUSR1);
        pthread_sigmask(SIG_BLOCK, &set_, nullptr);
        thread_ = std::thread([this] { Watch(); });
    }
    ~InterruptWatcher()
    {
        done_ = true;
        pthread_kill(thread_.native_handle(), SIGUSR1);
        thread_.join();
        pthread_sigmask(SIG_UNBLOCK, &set_, nullptr);
    }
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    bool StopRequested() const { return stops_ > 0; }

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

    std::atomic<int>& running_;
    TerminalView& view_;
    RunFolders& folders_;
    std::mutex& finishing_;
    sigset_t set_{};
    std::atomic<bool> done_{false};
    std::atomic<int> stops_{0};
    std::thread thread_;
};

bool PrepareWorkspace(const Options& options, RunFolders& folders)
{
    if (!options.keepWorkspace.empty()) {
        folders.keepWorkspace = true;
        const std::string& root = options.keepWorkspace;
        if (::mkdir(root.c_str(), 0700) != 0) {
            if (errno != EEXIST) {
                Error(root + ": " + platform::LastSystemErrorText());
                return false;
            }
            // The batch wipes its workspace first: never hand it a folder with someone's files.
            if (!IsRealDirectory(root) || !FolderEntries(root).empty()) {
                Error(root + ": the workspace folder must be new or empty");
                return false;
            }
        }
        folders.workspaceRoot = root;
    } else {
        std::string pattern = TemporaryBase() + "/tavrin-repair-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            Error(TemporaryBase() + ": " + platform::LastSystemErrorText());
            return false;
        }
        folders.workspaceParent = pattern;
        folders.workspaceRoot = pattern + "/BsTmp";
    }
    SetWorkspaceRootOverride(folders.workspaceRoot);
    return true;
}

using platform::JoinPath;

// Moves the finished results of the staging folder into the output folder: archives
// replace files of the same name, media folders are merged into existing ones.
void PublishResults(const std::string& staging, const std::string& output, BatchReport& report)
{
    auto fail = [&](const std::string& stagedPath, const std::string& why) {
        Error(why);
        for (PackageReport& package : report.packages) {
            if (package.outputPath == stagedPath || package.mediaFolder == stagedPath) {
                package.result = PackageResult::SaveFailed;
                package.error = why;
            }
        }
    };
    for (const std::string& name : FolderEntries(staging)) {
        const std::string from = JoinPath(staging, name);
        const std::string to = JoinPath(output, name);
        if (!IsRealDirectory(from)) {
            if (::rename(from.c_str(), to.c_str()) != 0)
                fail(from, to + ": " + platform::LastSystemErrorText());
            continue;
        }
        if (::rename(from.c_str(), to.c_str()) == 0)
            continue;
        if (!IsFolder(to)) {
            fail(from, to + ": " + platform::LastSystemErrorText());
            continue;
        }
        for (const std::string& picture : FolderEntries(from)) {
            if (::rename(JoinPath(from, picture).c_str(), JoinPath(to, picture).c_str()) != 0)
                fail(from, JoinPath(to, picture) + ": " + platform::LastSystemErrorText());
        }
    }
    const auto relocate = [&](std::string& path) {
        if (path.rfind(staging, 0) == 0)
            path = JoinPath(output, path.substr(staging.size() + 1));
    };
    for (PackageReport& package : report.packages) {
        relocate(package.outputPath);
        relocate(package.mediaFolder);
    }
}

} // namespace

int RunList(const Options& options)
{
    int status = kExitSuccess;
    std::string json = "{\"packages\": [";
    bool first = true;
    for (const std::string& path : options.files) {
        ScanList entries;
        std::string error;
        const platform::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        const int fd = file.Get();
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0) {
            error = platform::LastSystemErrorText();
        } else if (S_ISDIR(info.st_mode)) {
            error = platform::SystemErrorText(EISDIR);
        } else {
            // The list shows what a repair would extract, members sized by inflation included.
            const std::uint64_t length = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
            UnsizedMemberRecovery sizer(fd, length);
            PackageScanner().Scan(fd, length, entries, &sizer);
        }
        if (!error.empty()) {
            Error(path + ": " + error);
            status = kExitNotAllRepaired;
        }
        if (options.json) {
            json += (first ? "\n  " : ",\n  ") + ScanReportJson(path, error.empty(), error, entries);
            first = false;
            continue;
        }
        if (!error.empty())
            continue;
        std::printf("%s: %zu member(s)\n", path.c_str(), entries.size());
        if (!entries.empty())
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
        Error("Please select a valid folder path.");
        return kExitUsage;
    }
    RunFolders folders;
    if (!PrepareWorkspace(options, folders))
        return kExitUsage;
    std::string staging = JoinPath(options.output, ".tavrin-repair-XXXXXX");
    if (::mkdtemp(staging.data()) == nullptr) {
        Error(options.output + ": " + platform::LastSystemErrorText());
        folders.RemoveAll();
        return kExitNotAllRepaired;
    }
    folders.staging = staging;

    TerminalView::Settings settings;
    settings.logStream = options.quiet ? nullptr : (options.json ? stderr : stdout);
    const bool terminal = settings.logStream != nullptr && ::isatty(::fileno(settings.logStream));
    settings.color = terminal && options.color && std::getenv("NO_COLOR") == nullptr;
    settings.progress = terminal;
    settings.finalMessage = !options.quiet;
    TerminalView view(options.files, staging, options.media, settings);
    view.SetDisplayedPath(staging, options.output);

    std::atomic<int> running{0};
    BatchReport report;
    ThreadContext context{&view, &running, &report};
    std::mutex finishing;
    int status = kExitSuccess;
    {
        InterruptWatcher watcher(running, view, folders, finishing);
        StartRepair(context);
        std::thread(RepairThreadProc, std::ref(context)).join();
        if (StartSave(context))
            std::thread(SaveThreadProc, std::ref(context)).join();
        view.Finish();

        std::lock_guard lock(finishing);
        PublishResults(staging, options.output, report);
        folders.published = true;
        for (const PackageReport& package : report.packages)
            if (package.result != PackageResult::Saved)
                status = kExitNotAllRepaired;
        if (report.packages.size() != options.files.size())
            status = kExitNotAllRepaired;
        folders.RemoveAll();
    }
    SetWorkspaceRootOverride("");
    if (options.json)
        std::fputs(RunReportJson(report, options.output, status).c_str(), stdout);
    return status;
}

} // namespace tavrin::cli
