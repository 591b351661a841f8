// Any bytes as a package, through every step a repair takes: the scanner lists members,
// a surviving central directory supplies lost CRCs, the extraction writes the members
// into a package folder, and the database, mimetype and manifest are completed there.
// Besides the sanitizers this checks what must hold for every input: the central
// directory changes no member but its CRC, nothing is written outside the package
// folder, nothing but plain files and folders is made, no member file is larger than
// its header claimed, and the package itself is left as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <set>

#include "engine/CentralDirectory.h"
#include "engine/ContentXml.h"
#include "engine/FirebirdCompletion.h"
#include "engine/HsqldbCompletion.h"
#include "engine/ManifestRepair.h"
#include "engine/MemberCopies.h"
#include "engine/MemberExtractor.h"
#include "engine/PackageScanner.h"
#include "engine/PackagesInFile.h"
#include "engine/UnreadableNames.h"
#include "engine/XmlText.h"
#include "fuzz/FuzzTarget.h"
#include "fuzz/InputFile.h"
#include "fuzz/ScratchFolder.h"
#include "fuzz/SilentView.h"

using namespace tavrin;
using namespace tavrin::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static ScratchFolder scratch;
    static InputFile input(scratch / "input.odb");
    scratch.Empty("input.odb");
    input.Replace(data, size);
    const std::string& package = input.path();
    const std::string folder = scratch / "package";
    if (::mkdir(folder.c_str(), 0700) != 0)
        FuzzFailure("cannot create the package folder");

    ScanList entries;
    // Opened once for the scan and the extraction, with members sized by inflation, as
    // the repair batch does.
    ScannedPackage scanned;
    if (!scanned.Open(package))
        FuzzFailure("cannot open the input file");
    {
        UnsizedMemberRecovery sizer(scanned.fd(), scanned.length());
        // Small blocks make signatures and headers straddle block ends far more often.
        PackageScanner scanner(nullptr, 509);
        scanner.KeepBrokenMembers(kMaxFailedMembersListed);
        scanner.Scan(scanned.fd(), scanned.length(), entries, &sizer);
        scanned.lost = sizer.TakeLost();
        scanned.lostNotKept = sizer.LostNotKept();
        scanned.brokenNotKept = scanner.BrokenNotKept();
    }

    const ScanList scannedEntries = entries;
    SupplyCentralDirectoryCrcs(scanned.fd(), scanned.length(), entries);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const PackageEntry& was = scannedEntries[i];
        const PackageEntry& now = entries[i];
        if (now.name != was.name || now.compressedSize != was.compressedSize ||
            now.uncompressedSize != was.uncompressedSize || now.dataOffset != was.dataOffset ||
            now.sizeSource != was.sizeSource || (was.recordedCrc != 0 && now.recordedCrc != was.recordedCrc))
            FuzzFailure("the central directory changed more than a lost CRC", now.name.c_str());
    }

    // The packages of the file, as the repair splits them: every member in exactly one,
    // in file order, within the bound, and each package after the first with a member
    // besides mimetype. The rest of the harness goes on with the whole list.
    {
        const PackagesInFile split = SplitPackages(scanned.fd(), entries, scanned.lost);
        if (split.packages.empty() || split.packages.size() > kMaxPackagesInFile)
            FuzzFailure("a file split into no package or more than the bound");
        if (split.foldedIntoLast > 0 && split.packages.size() != kMaxPackagesInFile)
            FuzzFailure("packages folded into the last below the bound");
        std::size_t at = 0;
        std::size_t lostCount = 0;
        for (std::size_t p = 0; p < split.packages.size(); ++p) {
            const PackageMembers& members = split.packages[p];
            bool more = !members.lost.empty();
            for (const PackageEntry& entry : members.entries) {
                if (at >= entries.size() || !(entry == entries[at]))
                    FuzzFailure("the split lost, added or reordered a member", entry.name.c_str());
                more = more || SafeMemberPath(entry.name) != "mimetype";
                ++at;
            }
            if (p > 0 && (members.entries.empty() || !more))
                FuzzFailure("a further package holds nothing but mimetype");
            for (const LostMember& member : members.lost)
                if (member.listedBefore > members.entries.size())
                    FuzzFailure("a lost member placed past its package's members");
            lostCount += members.lost.size();
        }
        if (at != entries.size() || lostCount != scanned.lost.size())
            FuzzFailure("the split does not account for every member");
    }

    // One copy per member path, as the repair extracts them.
    const std::size_t beforeChoice = entries.size();
    const CopyChoice copies = ChooseMemberCopies(scanned.fd(), scanned.length(), entries);
    if (entries.size() + copies.copiesSetAside != beforeChoice)
        FuzzFailure("the copies set aside do not account for the entries dropped");
    {
        std::set<std::string> chosen;
        for (const PackageEntry& entry : entries)
            if (!SafeMemberPath(entry.name).empty() && !chosen.insert(SafeMemberPath(entry.name)).second)
                FuzzFailure("two copies of one member path are left to extract", entry.name.c_str());
    }

    std::uint64_t claimed = 0;
    std::set<std::string> memberPaths;
    for (const PackageEntry& entry : entries) {
        memberPaths.insert(SafeMemberPath(entry.name));
        memberPaths.insert(ReadablePath(SafeMemberPath(entry.name)));
        if (entry.name.empty() || entry.name.size() > kMaxMemberNameLength)
            FuzzFailure("scanner listed a name of a length it must not keep", entry.name.c_str());
        if (entry.compressedSize == 0 && entry.uncompressedSize == 0)
            FuzzFailure("scanner listed a member without data", entry.name.c_str());
        if (entry.dataOffset > size + 30 + 0xFFFF + 0xFFFF)
            FuzzFailure("data offset beyond any header the input can hold");
        claimed += std::max(entry.compressedSize, entry.uncompressedSize);
    }

    SilentView view;
    BatchReport report;
    report.packages.resize(1);
    // The extraction steps of RepairPackage: members, readable names, content.xml.
    const MemberExtraction extraction = ExtractMembers(folder, package, entries, scanned, view);
    scanned.Close();
    report.packages[0].members = extraction.members;
    if (extraction.anyMember) {
        RenameUnreadableNames(folder);
        RegenerateContentXml(folder, nullptr, extraction.contentXmlDamaged);
    }

    // Only the input and the package folder may be in the scratch folder; returns the
    // bytes of the member files in it.
    const auto checkTree = [&](const char* step) {
        static const std::string kPrefix = "package/";
        std::uint64_t written = 0;
        for (const TreeEntry& entry : TreeEntries(scratch.path())) {
            if (entry.path == "input.odb" || entry.path == "package")
                continue;
            if (entry.path.compare(0, kPrefix.size(), kPrefix) != 0)
                FuzzFailure(step, ("something was written outside the package folder: " + entry.path).c_str());
            const std::string inside = entry.path.substr(kPrefix.size());
            if (entry.kind == TreeEntry::Other)
                FuzzFailure(step, ("something was made that is neither a file nor a folder: " + inside).c_str());
            if (entry.kind != TreeEntry::File)
                continue;
            // A member may be named like a work file; one that no member is named is left over.
            if (inside.find(".tavrin-") != std::string::npos && memberPaths.count(inside) == 0)
                FuzzFailure(step, ("a work file was left behind: " + inside).c_str());
            // Files the repair may write itself: the descriptor, the manifest, the mimetype.
            if (inside == "content.xml" || inside == "META-INF/manifest.xml" || inside == "mimetype")
                continue;
            written += entry.size;
        }
        return written;
    };
    if (checkTree("extraction") > claimed)
        FuzzFailure("more bytes written than the headers claimed");

    std::size_t failuresListed = 0;
    for (const MemberReport& member : report.packages[0].members)
        failuresListed += member.outcome != MemberOutcome::Written ? 1 : 0;
    if (failuresListed > kMaxFailedMembersListed + scanned.lost.size())
        FuzzFailure("more failing members listed than the bound");
    for (const MemberReport& member : report.packages[0].members) {
        if (member.outcome != MemberOutcome::Written && member.outcome != MemberOutcome::CutShort &&
            member.outcome != MemberOutcome::Salvaged && member.bytesWritten != 0)
            FuzzFailure("a member reported as not written counts written bytes", member.name.c_str());
        if (member.outcome == MemberOutcome::Salvaged &&
            (member.bytesWritten == 0 || member.bytesWritten >= std::uint64_t{member.uncompressedSize}))
            FuzzFailure("a salvaged member is empty or not shorter than its size", member.name.c_str());
        if (member.outcome == MemberOutcome::Written &&
            member.bytesWritten != std::uint64_t{member.uncompressedSize})
            FuzzFailure("a member reported as written is not of its size", member.name.c_str());
    }

    // What the repair does next in the package folder; the database completion may
    // write properties and append to the script, so only the tree is checked again.
    if (extraction.membersRecovered > 0) {
        CompleteHsqldb(folder, extraction.databaseMembers);
        CompleteFirebird(folder, extraction.databaseMembers);
        WriteMissingMimetype(folder);
        RepairManifest(folder);
        checkTree("completion");
    }
    // A name LibreOffice cannot read would make it refuse the whole package.
    for (const TreeEntry& entry : TreeEntries(folder))
        if (!IsNameText(entry.path))
            FuzzFailure("a name LibreOffice cannot read is left in the package folder", entry.path.c_str());

    if (!input.Holds(data, size))
        FuzzFailure("the package was changed");
    return 0;
}
