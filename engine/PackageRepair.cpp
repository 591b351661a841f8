#include "engine/PackageRepair.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/BatchLog.h"
#include "engine/CentralDirectory.h"
#include "engine/ContentXml.h"
#include "engine/FirebirdCompletion.h"
#include "engine/HsqldbCompletion.h"
#include "engine/LogLine.h"
#include "engine/ManifestRepair.h"
#include "engine/MemberCopies.h"
#include "engine/MemberExtractor.h"
#include "engine/PackageOutcome.h"
#include "engine/PackageScan.h"
#include "engine/UnreadableNames.h"
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

    // 3. One copy of each member path; the copies left aside are said.
    CopyChoice copies = ChooseMemberCopies(scan.package.fd(), scan.package.length(), scan.entries, context.running);
    report.packagesInFile = copies.packagesInFile;
    AddLogLines(view, PackagesInFileLogLines(path, copies.packagesInFile));
    AddLogLines(view, MemberCopiesLogLines(path, copies));
    report.copiesSetAside = std::move(copies.names);
    report.copyPathsNotListed = copies.namesNotListed;

    // 4. The members into the package folder, copied or inflated.
    MemberExtraction extraction = ExtractMembers(job.folder, path, scan.entries, scan.package, view);
    scan.package.Close();
    report.members = std::move(extraction.members);
    report.failedNotListed = extraction.failedNotListed;
    report.lostNotListed = extraction.lostNotListed;
    if (!extraction.anyMember) {
        view.AddLogLine(path + " extraction of file failed. Please contact at " + kSupportAddress +
                            " for further assitance.\r\n",
                        kBlack);
        const std::string reason = scan.package.readError.empty()
                                       ? NothingFoundReason(path)
                                       : "reading it failed (" + scan.package.readError + "), nothing could be read from it";
        view.AddLogLine(path + " " + reason + "....\r\n", kRed);
        report.result = PackageResult::NothingFound;
        report.nothingFound = reason;
        return report;
    }

    // 5. Readable names, before anything lists the members (the manifest, content.xml).
    const std::string base = platform::WithTrailingSlash(job.folder);
    NameRenaming renaming = RenameUnreadableNames(base);
    AddLogLines(view, RenamingLogLines(path, renaming));
    report.renamedNames = std::move(renaming.listed);
    report.renamedNotListed = renaming.notListed;

    // 6. content.xml from the template when it was not recovered whole.
    std::vector<PackageDocument> documents;
    const ContentXmlAction contentXml = RegenerateContentXml(base, &documents, extraction.contentXmlDamaged);
    AddLogLines(view, ContentXmlLogLines(path, contentXml, documents));
    report.contentXmlRegenerated =
        contentXml == ContentXmlAction::WroteTemplate || contentXml == ContentXmlAction::ReplacedDamaged;
    report.documentsListed = std::move(documents);
    view.SetProgressPosition(ProgressBar::File, static_cast<int>(std::min<std::uint64_t>(
                                                    scan.entries.size() + scan.package.lost.size(), INT32_MAX)));

    if (extraction.membersRecovered == 0) {
        // The folder holds only what the repair wrote itself; saved, it would only look
        // like a repaired database.
        const std::uint64_t found = scan.entries.size() + scan.package.lost.size() + scan.package.lostNotKept +
                                    scan.package.brokenNotKept;
        const std::string reason = "none of the " + std::to_string(found) + " members found could be recovered";
        view.AddLogLine(path + " " + reason + ", there is nothing to save....\r\n", kRed);
        view.AddLogLine(path + " not Repaired....\r\n", kRed);
        view.AddLogLine(kSeparatorLine, kBlack);
        report.result = PackageResult::NothingRecovered;
        report.error = reason;
        return report;
    }

    // 7. The embedded database completed so that it opens with the rows that survived.
    //    An embedded Firebird backup is salvaged record by record instead.
    std::vector<DatabaseCompletion> completions = CompleteHsqldb(job.folder, extraction.databaseMembers);
    for (DatabaseCompletion& completion : CompleteFirebird(job.folder, extraction.databaseMembers))
        completions.push_back(std::move(completion));
    for (DatabaseCompletion& completion : completions) {
        view.AddLogLine(path + " " + CompletionLogText(completion), completion.rowsMayBeLost || completion.namesGuessed ? kRed : kBlack);
        report.databaseCompletions.push_back(std::move(completion));
    }

    // 8. The mimetype member LibreOffice looks for first.
    if (WriteMissingMimetype(job.folder))
        view.AddLogLine(path + " mimetype was not recovered, a new one is written....\r\n", kBlack);

    // 9. A manifest that lists every member the folder holds.
    const ManifestAction manifest = RepairManifest(job.folder);
    if (const std::string text = ManifestLogText(manifest); !text.empty())
        view.AddLogLine(path + " " + text, manifest == ManifestAction::Failed ? kRed : kBlack);

    view.AddLogLine(path + " preview of file is available....\r\n", kBlack);
    view.AddLogLine(path + "  Repaired....\r\n", kGreen);
    view.AddLogLine(kSeparatorLine, kBlack);
    report.result = PackageResult::Repaired;
    // Read here, on the batch's thread, while the package is fresh in the cache.
    report.noDamageFound = FoundNoDamage(report);
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
