#include "engine/FirebirdCompletion.h"

#include <sys/stat.h>

#include "engine/FirebirdBackupSalvage.h"
#include "engine/MemberExtractor.h"
#include "platform/PathJoin.h"

namespace tavrin {
namespace {

constexpr const char* kBackup = "database/firebird.fbk";

// Whether the backup on disk is the whole one: its last report says written with a
// CRC that matched (or none recorded). Cut, salvaged or mismatched copies are not.
bool BackupWhole(const std::vector<MemberReport>& members)
{
    bool whole = true;
    for (const MemberReport& member : members) {
        if (SafeMemberPath(member.name) != kBackup)
            continue;
        switch (member.outcome) {
        case MemberOutcome::Written: whole = member.crcCheck != CrcCheck::Mismatch; break;
        case MemberOutcome::CutShort:
        case MemberOutcome::Salvaged: whole = false; break;
        case MemberOutcome::NotInflated:
        case MemberOutcome::NotWritten:
        case MemberOutcome::NotRead: break; // nothing written: the file is an earlier copy's
        }
    }
    return whole;
}

std::string Plural(std::uint64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

DatabaseCompletion Described(const FirebirdSalvage& salvage)
{
    DatabaseCompletion completion;
    completion.member = kBackup;
    completion.rowsKept = salvage.rowsKept;
    completion.rowsDropped = salvage.rowsDropped;
    // Whatever the salvage made of it, the backup was damaged: rows may be lost or changed.
    completion.rowsMayBeLost = true;
    const std::string damaged = std::string(kBackup) + " is damaged";
    switch (salvage.outcome) {
    case FirebirdSalvage::Outcome::Whole:
        completion.action = "firebird-backup-checked";
        completion.detail = damaged + ", but each of its records reads whole: kept as it is, a damaged byte inside "
                                      "a row may have changed a value";
        return completion;
    case FirebirdSalvage::Outcome::NotABackup:
        completion.action = "firebird-backup-unreadable";
        completion.detail = damaged + " at its start, no Firebird backup header was found: kept as it is, "
                                      "LibreOffice may not open the database";
        return completion;
    case FirebirdSalvage::Outcome::Failed:
        completion.action = "firebird-backup-not-salvaged";
        completion.detail = damaged + ", salvaging it failed (" + salvage.error + "): kept as it is";
        return completion;
    case FirebirdSalvage::Outcome::Salvaged: break;
    }
    completion.action = "firebird-backup-salvaged";
    std::string detail = damaged + ", salvaged record by record: " + Plural(salvage.rowsKept, "row", "rows") + " kept";
    const std::uint64_t rowsInStretches = salvage.rowsDropped - salvage.rowsWithDamagedValues;
    if (salvage.stretchesSkipped > 0)
        detail += ", " + Plural(salvage.stretchesSkipped, "damaged stretch", "damaged stretches") + " skipped (" +
                  Plural(salvage.bytesSkipped, "byte", "bytes") +
                  (rowsInStretches > 0 ? ", with at least " + Plural(rowsInStretches, "row", "rows") + " in them" : "") +
                  ")";
    if (salvage.rowsWithDamagedValues > 0)
        detail += ", " + Plural(salvage.rowsWithDamagedValues, "row", "rows") +
                  " left out whose values are damaged (a text longer than its column, a null flag or text that cannot be)";
    if (salvage.endLost)
        detail += salvage.tableDataCut ? ", the rows after the damage are lost and the backup is ended there"
                                       : ", what followed the damage is lost and the backup is ended there";
    completion.detail = detail;
    return completion;
}

} // namespace

bool FirebirdCompletionReadsMember(const std::string& path)
{
    return path == kBackup;
}

std::vector<DatabaseCompletion> CompleteFirebird(const std::string& folder, const std::vector<MemberReport>& members)
{
    const std::string path = platform::WithTrailingSlash(folder) + kBackup;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || BackupWhole(members))
        return {};
    return {Described(SalvageFirebirdBackup(path, path))};
}

} // namespace tavrin
