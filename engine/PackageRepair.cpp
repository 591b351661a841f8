#include "engine/PackageRepair.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/BatchLog.h"
#include "engine/CentralDirectory.h"
#include "engine/ContentXml.h"
#include "engine/FirebirdCompletion.h"
#include "engine/HeldFolder.h"
#include "engine/HsqldbCompletion.h"
#include "engine/LogLine.h"
#include "engine/ManifestRepair.h"
#include "engine/MemberCopies.h"
#include "engine/MemberExtractor.h"
#include "engine/PackageOutcome.h"
#include "engine/PackagesInFile.h"
#include "engine/PackageScan.h"
#include "engine/UnreadableNames.h"
#include "engine/Workspace.h"
#include "platform/FileDescriptor.h"
#include "platform/PathJoin.h"

namespace tavrin {
namespace {

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

PackageReport OpenFailed(const std::string& path, const std::string& error, BatchReporter& view)
{
    view.AddLogLine(path + " extraction of file failed.Please contact at " + kSupportAddress + " for further assitance.\r\n",
                    kBlack);
    PackageReport report;
    report.path = path;
    report.result = PackageResult::OpenFailed;
    report.error = error;
    return report;
}

// Packages `from` to `count` of the file, not repaired because the batch was stopped:
// said, and reported, so that the file does not pass for done.
void LogStoppedPackages(const std::string& path, std::size_t from, std::size_t count, PackageReport& report,
                        BatchReporter& view)
{
    for (std::size_t number = from; number <= count; ++number) {
        PackageReport& stopped = report.furtherPackages.emplace_back();
        stopped.path = path;
        stopped.packageNumber = number;
        stopped.packagesInFile = report.packagesInFile;
        stopped.result = PackageResult::StoppedBefore;
        const std::string logPath = PackageLogPath(path, number);
        view.AddLogLine(logPath + " is not extracting as process has been stop by the user.... \r\n", kBlack);
        view.AddLogLine(logPath + " not Repaired....\r\n", kRed);
    }
}

// Steps 3 to 9 for one package of the file, `number` 1 for the first, into its folder
// (report.packageFolder), reading it through `package`. Logs its lines after
// `logPath`, up to its result line; the separator is the caller's.
void RepairMembers(PackageMembers& members, std::size_t number, const std::string& logPath, ScannedPackage& package,
                   PackageReport& report, ThreadContext& context)
{
    BatchReporter& view = *context.view;
    const std::string& path = report.path;
    const std::string& folder = report.packageFolder;

    // 3. One copy of each member path; the copies left aside are said.
    CopyChoice copies = ChooseMemberCopies(package.fd(), package.length(), members.entries, context.running);
    AddLogLines(view, MemberCopiesLogLines(logPath, copies));
    report.copiesSetAside = std::move(copies.names);
    report.copyPathsNotListed = copies.namesNotListed;

    // 4. The members into the package folder, copied or inflated. The scan's members
    //    beyond its bounds are counted with the first package.
    package.lost = std::move(members.lost);
    if (number > 1) {
        package.lostNotKept = 0;
        package.brokenNotKept = 0;
    }
    const std::shared_ptr<HeldFolder> held = context.holdSmallMembers ? HeldFolder::Start(folder) : nullptr;
    MemberExtraction extraction = ExtractMembers(folder, logPath, members.entries, package, view, held.get());
    const std::uint64_t found =
        members.entries.size() + package.lost.size() + package.lostNotKept + package.brokenNotKept;
    report.members = std::move(extraction.members);
    report.failedNotListed = extraction.failedNotListed;
    report.lostNotListed = extraction.lostNotListed;
    if (!extraction.anyMember) {
        view.AddLogLine(logPath + " extraction of file failed. Please contact at " + kSupportAddress +
                            " for further assitance.\r\n",
                        kBlack);
        const std::string reason = package.readError.empty()
                                       ? NothingFoundReason(path)
                                       : "reading it failed (" + package.readError + "), nothing could be read from it";
        view.AddLogLine(logPath + " " + reason + "....\r\n", kRed);
        report.result = PackageResult::NothingFound;
        report.nothingFound = reason;
        return;
    }

    // 5. Readable names, before anything lists the members (the manifest, content.xml).
    const std::string base = platform::WithTrailingSlash(folder);
    NameRenaming renaming = RenameUnreadableNames(base);
    AddLogLines(view, RenamingLogLines(logPath, renaming));
    report.renamedNames = std::move(renaming.listed);
    report.renamedNotListed = renaming.notListed;

    // 6. content.xml from the template when it was not recovered whole.
    std::vector<PackageDocument> documents;
    const ContentXmlAction contentXml = RegenerateContentXml(base, &documents, extraction.contentXmlDamaged);
    AddLogLines(view, ContentXmlLogLines(logPath, contentXml, documents));
    report.contentXmlRegenerated =
        contentXml == ContentXmlAction::WroteTemplate || contentXml == ContentXmlAction::ReplacedDamaged;
    report.documentsListed = std::move(documents);
    view.SetProgressPosition(ProgressBar::File, static_cast<int>(std::min<std::uint64_t>(
                                                    members.entries.size() + package.lost.size(), INT32_MAX)));

    if (extraction.membersRecovered == 0) {
        // The folder holds only what the repair wrote itself; saved, it would only look
        // like a repaired database.
        const std::string reason = "none of the " + std::to_string(found) + " members found could be recovered";
        view.AddLogLine(logPath + " " + reason + ", there is nothing to save....\r\n", kRed);
        view.AddLogLine(logPath + " not Repaired....\r\n", kRed);
        report.result = PackageResult::NothingRecovered;
        report.error = reason;
        return;
    }

    // 7. The embedded database completed so that it opens with the rows that survived.
    //    An embedded Firebird backup is salvaged record by record instead.
    std::vector<DatabaseCompletion> completions = CompleteHsqldb(folder, extraction.databaseMembers);
    for (DatabaseCompletion& completion : CompleteFirebird(folder, extraction.databaseMembers))
        completions.push_back(std::move(completion));
    for (DatabaseCompletion& completion : completions) {
        view.AddLogLine(logPath + " " + CompletionLogText(completion),
                        completion.rowsMayBeLost || completion.namesGuessed ? kRed : kBlack);
        report.databaseCompletions.push_back(std::move(completion));
    }

    // 8. The mimetype member LibreOffice looks for first.
    if (WriteMissingMimetype(folder))
        view.AddLogLine(logPath + " mimetype was not recovered, a new one is written....\r\n", kBlack);

    // 9. A manifest that lists every member the folder holds.
    const ManifestAction manifest = RepairManifest(folder);
    if (const std::string text = ManifestLogText(manifest); !text.empty())
        view.AddLogLine(logPath + " " + text, manifest == ManifestAction::Failed ? kRed : kBlack);

    if (number == 1)
        view.AddLogLine(logPath + " preview of file is available....\r\n", kBlack);
    view.AddLogLine(logPath + "  Repaired....\r\n", kGreen);
    report.result = PackageResult::Repaired;
}

} // namespace

PackageReport RepairPackage(const RepairJob& job, ThreadContext& context)
{
    BatchReporter& view = *context.view;
    const std::string& path = job.path;
    if (!job.refusal.empty())
        return OpenFailed(path, job.refusal, view);

    // 1. Find the members by their local headers; the package stays open for step 4.
    PackageScan scan = ScanPackage(path, context);
    if (!scan.opened)
        return OpenFailed(path, scan.openError, view);
    PackageReport report;
    report.path = path;
    ::mkdir(job.folder.c_str(), 0700);
    report.packageFolder = job.folder;

    // 2. A central directory that survived still records the CRC of members whose own
    //    headers lost it, so they are checked like the others.
    SupplyCentralDirectoryCrcs(scan.package.fd(), scan.package.length(), scan.entries);

    // The packages the file holds, each repaired on its own by steps 3 to 9: the first
    // into the job's folder, the others into folders beside it.
    PackagesInFile packages = SplitPackages(scan.package.fd(), std::move(scan.entries), std::move(scan.package.lost));
    report.packagesInFile = packages.found();
    AddLogLines(view, PackagesInFileLogLines(path, packages));
    report.furtherPackages.reserve(packages.packages.size() - 1);
    for (std::size_t p = 0; p < packages.packages.size(); ++p) {
        const std::size_t number = p + 1;
        // A stop takes effect after the package in hand, as it does between files.
        if (p > 0 && context.running != nullptr && context.running->load() == 0) {
            LogStoppedPackages(path, number, packages.packages.size(), report, view);
            break;
        }
        PackageReport& target = p == 0 ? report : report.furtherPackages.emplace_back();
        if (p > 0) {
            target.path = path;
            target.packageNumber = number;
            target.packagesInFile = report.packagesInFile;
            target.packageFolder = FurtherPackageFolder(job.folder, number);
            ::mkdir(target.packageFolder.c_str(), 0700);
        }
        RepairMembers(packages.packages[p], number, PackageLogPath(path, number), scan.package, target, context);
        if (target.result == PackageResult::NothingFound)
            return report; // nothing at all was found in the file
        // Beside packages that were repaired, the save must find nothing to save of this one.
        if (target.result == PackageResult::NothingRecovered && packages.packages.size() > 1)
            DeleteFolderTree(target.packageFolder);
    }
    scan.package.Close();
    view.AddLogLine(kSeparatorLine, kBlack);
    // Read here, on the batch's thread, while the package is fresh in the cache.
    report.noDamageFound = report.result == PackageResult::Repaired && report.furtherPackages.empty() &&
                           FoundNoDamage(report);
    return report;
}

std::optional<int> JobStateAfterRepair(PackageResult result)
{
    switch (result) {
    case PackageResult::OpenFailed: return std::nullopt;
    case PackageResult::Repaired:
    case PackageResult::NothingFound: return 1;
    default: return 0;
    }
}

} // namespace tavrin
