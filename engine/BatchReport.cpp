#include "engine/BatchReport.h"

namespace tavrin {

const char* ToString(MemberOutcome outcome)
{
    switch (outcome) {
    case MemberOutcome::Written: return "written";
    case MemberOutcome::CutShort: return "cut-short";
    case MemberOutcome::NotInflated: return "not-inflated";
    case MemberOutcome::NotWritten: return "not-written";
    case MemberOutcome::NotRead: return "not-read";
    case MemberOutcome::Salvaged: return "salvaged";
    }
    return "unknown";
}

const char* ToString(PackageResult result)
{
    switch (result) {
    case PackageResult::NotStarted: return "not-started";
    case PackageResult::OpenFailed: return "open-failed";
    case PackageResult::NothingFound: return "nothing-found";
    case PackageResult::NothingRecovered: return "nothing-recovered";
    case PackageResult::Repaired: return "repaired";
    case PackageResult::StoppedBefore: return "stopped";
    case PackageResult::Saved: return "saved";
    case PackageResult::SavedWithLosses: return "saved-with-losses";
    case PackageResult::SaveFailed: return "save-failed";
    case PackageResult::NotRepaired: return "not-repaired";
    case PackageResult::SaveStopped: return "save-stopped";
    }
    return "unknown";
}

const char* ToString(CrcCheck check)
{
    switch (check) {
    case CrcCheck::NotChecked: return "not-checked";
    case CrcCheck::Matches: return "matches";
    case CrcCheck::Mismatch: return "mismatch";
    }
    return "unknown";
}

const char* ToString(SizeSource source)
{
    switch (source) {
    case SizeSource::LocalHeader: return "local-header";
    case SizeSource::DataDescriptor: return "data-descriptor";
    case SizeSource::Inflation: return "inflation";
    case SizeSource::InflationAndDescriptor: return "inflation-and-descriptor";
    case SizeSource::CompressedSizeCorrected: return "compressed-size-corrected";
    }
    return "unknown";
}

} // namespace tavrin
