#include "ExtractionSteps.h"

#include <algorithm>
#include <cstdint>

#include "engine/ContentXml.h"
#include "engine/UnreadableNames.h"

namespace tavrin::test {

MemberExtraction RunExtractionSteps(const std::string& folder, const std::string& packagePath, const ScanList& entries,
                                    const ScannedPackage& scanned, WorkView& view, PackageReport& report)
{
    MemberExtraction extraction = ExtractMembers(folder, packagePath, entries, scanned, view);
    report.members = extraction.members;
    report.failedNotListed = extraction.failedNotListed;
    report.lostNotListed = extraction.lostNotListed;
    if (!extraction.anyMember)
        return extraction;
    NameRenaming renaming = RenameUnreadableNames(folder);
    AddLogLines(view, RenamingLogLines(packagePath, renaming));
    report.renamedNames = std::move(renaming.listed);
    report.renamedNotListed = renaming.notListed;
    std::vector<PackageDocument> documents;
    const ContentXmlAction action = RegenerateContentXml(folder, &documents, extraction.contentXmlDamaged);
    report.contentXmlRegenerated =
        action == ContentXmlAction::WroteTemplate || action == ContentXmlAction::ReplacedDamaged;
    AddLogLines(view, ContentXmlLogLines(packagePath, action, documents));
    report.documentsListed = std::move(documents);
    view.SetProgressPosition(ProgressBar::File,
                             static_cast<int>(std::min<std::uint64_t>(entries.size() + scanned.lost.size(), INT32_MAX)));
    return extraction;
}

} // namespace tavrin::test
