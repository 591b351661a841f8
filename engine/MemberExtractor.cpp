#include "engine/MemberExtractor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/ContentXml.h"
#include "engine/FirebirdCompletion.h"
#include "engine/HeldFolder.h"
#include "engine/HsqldbCompletion.h"
#include "engine/MemberDefect.h"
#include "engine/MemberStream.h"
#include "engine/TextUtil.h"
#include "engine/UnreadableNames.h"
#include "platform/AtomicFileWriter.h"
#include "platform/FileDescriptor.h"
#include "platform/FileIo.h"
#include "platform/PathJoin.h"
#include "platform/SystemError.h"

namespace tavrin {
namespace {

// Members are streamed through a buffer of at most this size, whatever their length.
constexpr std::size_t kChunkSize = std::size_t{1} << 20;

using platform::FileDescriptor;

// Records what went wrong with a member. The report's words are the defect's, followed
// by `detail`; with `withText` false they are the detail alone, for failures whose log
// line names the defect itself.
void SetDefect(MemberReport& report, MemberOutcome outcome, MemberDefect defect, const std::string& detail = {},
               bool withText = true)
{
    report.outcome = outcome;
    report.defect = defect;
    if (!withText)
        report.error = detail;
    else
        report.error = detail.empty() ? std::string(DefectText(defect)) : DefectText(defect, detail);
}

// A member file written through an atomic writer, with the CRC-32 of what went in:
// no partial member is ever left under its name, and a member whose data breaks at
// once costs no file made and removed again. Or the member's bytes in memory, for a
// member the package folder holds there.
class PendingFile {
public:
    // Into `memory` when it is given, else into a file at `target`.
    PendingFile(const std::string& target, std::string* memory) : memory_(memory)
    {
        if (memory_ != nullptr)
            memory_->clear();
        else
            file_.emplace(target, 0644);
    }

    bool ok() const { return memory_ != nullptr ? !outOfMemory_ : file_->Ok(); }
    std::string error() const
    {
        if (ok())
            return {};
        return platform::SystemErrorText(memory_ != nullptr ? ENOMEM : file_->Error());
    }
    // CRC-32 of everything written so far.
    std::uint32_t crc() const { return crc_; }

    bool Write(const unsigned char* data, std::size_t size)
    {
        if (memory_ != nullptr) {
            try {
                memory_->append(reinterpret_cast<const char*>(data), size);
            } catch (const std::bad_alloc&) {
                outOfMemory_ = true;
                return false;
            }
        } else if (!file_->Write(data, size)) {
            return false;
        }
        crc_ = static_cast<std::uint32_t>(crc32(crc_, data, static_cast<uInt>(size)));
        return true;
    }

    bool Truncate(std::uint64_t size)
    {
        if (memory_ == nullptr)
            return file_->Truncate(size);
        memory_->resize(std::min<std::uint64_t>(size, memory_->size()));
        return true;
    }
    bool Commit() { return memory_ != nullptr ? ok() : file_->Commit(); }

private:
    std::optional<platform::AtomicFileWriter> file_;
    std::string* memory_ = nullptr;
    bool outOfMemory_ = false;
    std::uint32_t crc_ = 0;
};

void CopyStored(const PackageEntry& entry, int package, PendingFile& out, MemberReport& report)
{
    std::vector<unsigned char> buffer(std::min<std::size_t>(entry.compressedSize, kChunkSize));
    std::uint64_t left = entry.compressedSize;
    platform::FileIo& io = platform::FileIo::Current();
    if (io.Seek(package, static_cast<off_t>(entry.dataOffset), SEEK_SET) < 0) {
        SetDefect(report, MemberOutcome::NotRead, MemberDefect::ReadFailed, platform::SystemErrorText(errno), false);
        return;
    }
    while (left > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        const ssize_t got = platform::ReadSome(package, buffer.data(), want);
        if (got < 0) {
            SetDefect(report, MemberOutcome::NotRead, MemberDefect::ReadFailed, platform::SystemErrorText(errno), false);
            return;
        }
        if (got == 0)
            break; // the package ends inside the member
        if (!out.Write(buffer.data(), static_cast<std::size_t>(got))) {
            SetDefect(report, MemberOutcome::NotWritten, MemberDefect::WriteFailed, out.error(), false);
            return;
        }
        left -= static_cast<std::uint64_t>(got);
        report.bytesWritten += static_cast<std::uint64_t>(got);
    }
    if (left == 0)
        report.outcome = MemberOutcome::Written;
    else
        SetDefect(report, MemberOutcome::CutShort, MemberDefect::CutShort, {}, false);
}

// The database members whose readable start is worth more than nothing: HSQLDB reads a
// script and a log line by line (a cut line fails the whole connection, so only whole
// lines are kept), and its data file and a Firebird backup give back the rows whose
// bytes are there. Every other member stays all or nothing: a cut XML document or
// picture is worse than none.
enum class SalvageRule { None, WholeLines, Bytes };

SalvageRule SalvageRuleFor(const std::string& name)
{
    if (name == "database/script" || name == "database/log")
        return SalvageRule::WholeLines;
    if (name == "database/data" || name == "database/firebird.fbk")
        return SalvageRule::Bytes;
    return SalvageRule::None;
}

void Inflate(const PackageEntry& entry, const std::string& packagePath, int packageFd, PendingFile& out,
             MemberReport& report)
{
    const SalvageRule salvage = SalvageRuleFor(entry.name);
    std::uint64_t wholeLinesEnd = 0; // bytes up to and including the last line end written
    auto noteLines = [&](const unsigned char* data, std::size_t size) {
        if (const void* end = size > 0 ? ::memrchr(data, '\n', size) : nullptr)
            wholeLinesEnd = report.bytesWritten + static_cast<std::uint64_t>(static_cast<const unsigned char*>(end) - data) + 1;
    };
    MemberStream stream(packagePath, packageFd, entry.dataOffset, entry.compressedSize, entry.uncompressedSize);
    if (!stream.IsOpen()) {
        SetDefect(report, MemberOutcome::NotInflated, MemberDefect::PackageNotOpened);
        return;
    }
    // Not zeroed: a member claiming a large size whose stream breaks early would pay for
    // clearing a whole chunk it never fills.
    const std::size_t bufferSize = std::clamp<std::size_t>(entry.uncompressedSize, 1, kChunkSize);
    const std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[bufferSize]);
    if (!buffer) {
        SetDefect(report, MemberOutcome::NotInflated, MemberDefect::NoMemory);
        return;
    }
    std::uint64_t left = entry.uncompressedSize;
    MemberReadResult read;
    for (;;) {
        const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, bufferSize));
        read = stream.Read(buffer.get(), length);
        if (read.bytes > 0 && !out.Write(buffer.get(), read.bytes)) {
            SetDefect(report, MemberOutcome::NotWritten, MemberDefect::WriteFailed, out.error(), false);
            return;
        }
        noteLines(buffer.get(), read.bytes);
        left -= std::min<std::uint64_t>(left, read.bytes);
        report.bytesWritten += read.bytes;
        // More room is needed only while the stream goes on; a read that made no
        // progress leaves the member short.
        if (read.status != MemberRead::NeedsMoreRoom || left == 0 || read.bytes == 0)
            break;
    }
    // A failed read reports nothing decoded, yet the bytes it decoded before the damage
    // stand at the start of the buffer.
    const std::uint64_t failedCallBytes =
        std::min<std::uint64_t>(stream.TotalDecoded() - std::min(stream.TotalDecoded(), report.bytesWritten), bufferSize);
    const bool endedShort = read.status == MemberRead::StreamEnded;
    // A stream that ended short yet inflated to the recorded CRC is the member whole: it
    // is the declared size that is wrong, and no member should be lost over it.
    if ((read.status == MemberRead::Complete && left == 0) ||
        (endedShort && entry.recordedCrc != 0 && out.crc() == entry.recordedCrc)) {
        report.outcome = MemberOutcome::Written;
        // The report gives the member's real size, not the one the header got wrong.
        report.uncompressedSize = static_cast<std::uint32_t>(report.bytesWritten);
        return;
    }
    switch (read.status) {
    case MemberRead::NeedsMoreRoom:
    case MemberRead::StreamEnded: SetDefect(report, report.outcome, MemberDefect::DataEndsEarly); break;
    case MemberRead::InputEndedEarly: SetDefect(report, report.outcome, MemberDefect::PackageEndsInside); break;
    case MemberRead::ReadError:
        SetDefect(report, report.outcome, MemberDefect::ReadFailed, platform::SystemErrorText(stream.SystemError()));
        break;
    case MemberRead::NoMemory: SetDefect(report, report.outcome, MemberDefect::NoMemory); break;
    case MemberRead::Complete:
    case MemberRead::DataError: SetDefect(report, report.outcome, MemberDefect::DataDamaged); break;
    }
    // A stream cut off or broken by damage has a readable start to salvage, and so has one
    // that ended cleanly short of its declared size: a flipped bit inside the compressed
    // data can turn a block into the final one, and the rows before it are still sound.
    const bool brokenOff = read.status == MemberRead::InputEndedEarly || read.status == MemberRead::ReadError ||
                           read.status == MemberRead::DataError;
    if (salvage != SalvageRule::None && (brokenOff || endedShort)) {
        const auto tail = static_cast<std::size_t>(failedCallBytes);
        if (tail == 0 || out.Write(buffer.get(), tail)) {
            noteLines(buffer.get(), tail);
            report.bytesWritten += tail;
            const std::uint64_t keep = salvage == SalvageRule::WholeLines ? wholeLinesEnd : report.bytesWritten;
            if (keep > 0 && out.Truncate(keep)) {
                report.outcome = MemberOutcome::Salvaged;
                report.bytesWritten = keep;
                return;
            }
        }
    }
    report.outcome = MemberOutcome::NotInflated;
    report.bytesWritten = 0;
}

std::string FailureLine(const std::string& packagePath, const MemberReport& member)
{
    const std::string name = PrintableName(member.name);
    if (member.defect == MemberDefect::HeaderCutOff)
        return packagePath + " member " + (member.name.empty() ? std::string("without a name") : name) +
               " at byte " + std::to_string(member.dataOffset) + " is left out, " + DefectText(member.defect) +
               "....\r\n";
    switch (member.outcome) {
    case MemberOutcome::CutShort:
        return packagePath + " member " + name + " " + DefectText(MemberDefect::CutShort) + ", " + std::to_string(member.bytesWritten) + " of " +
               std::to_string(member.compressedSize) + " bytes recovered....\r\n";
    case MemberOutcome::NotInflated:
        return packagePath + " member " + name + " could not be inflated (" + member.error +
               ") and is left out....\r\n";
    case MemberOutcome::NotWritten:
        return packagePath + " member " + name + " could not be written (" + member.error +
               ") and is left out....\r\n";
    case MemberOutcome::NotRead:
        return packagePath + " member " + name + " could not be read from the package (" + member.error +
               ") and is left out....\r\n";
    case MemberOutcome::Salvaged:
        return packagePath + " member " + name + " could not be inflated whole (" + member.error + "), its first " +
               std::to_string(member.bytesWritten) + " of " + std::to_string(member.uncompressedSize) + " bytes" +
               (SalvageRuleFor(member.name) == SalvageRule::WholeLines ? ", up to the last complete line," : "") +
               " are kept....\r\n";
    case MemberOutcome::Written:
        break;
    }
    return {};
}

bool SizedByInflation(const PackageEntry& entry)
{
    return entry.sizeSource == SizeSource::Inflation || entry.sizeSource == SizeSource::InflationAndDescriptor ||
           entry.sizeSource == SizeSource::CompressedSizeCorrected;
}

std::string Hex32(std::uint32_t value)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

std::string CrcMismatchLine(const std::string& packagePath, const MemberReport& member)
{
    return packagePath + " member " + PrintableName(member.name) + " " + DefectText(MemberDefect::CrcMismatch) + " (" +
           Hex32(member.recordedCrc) + ", written " + Hex32(member.writtenCrc) +
           "), its bytes are damaged and kept as they came....\r\n";
}

std::string SizedByInflationLine(const std::string& packagePath, const PackageEntry& entry)
{
    if (entry.sizeSource == SizeSource::CompressedSizeCorrected)
        return packagePath + " member " + PrintableName(entry.name) +
               " had a wrong compressed size, its end was found by inflating it: " +
               std::to_string(entry.compressedSize) + " bytes inflate to " + std::to_string(entry.uncompressedSize) +
               " with the CRC-32 and size the package recorded....\r\n";
    return packagePath + " member " + PrintableName(entry.name) + " had lost its sizes, its end was found by inflating it" +
           (entry.sizeSource == SizeSource::InflationAndDescriptor ? " and its data descriptor agrees" : "") + ": " +
           std::to_string(entry.compressedSize) + " bytes inflate to " + std::to_string(entry.uncompressedSize) +
           "....\r\n";
}

} // namespace

std::string SafeMemberPath(const std::string& memberName)
{
    std::string result;
    std::string component;
    auto flush = [&] {
        if (!component.empty() && component != "." && component != "..") {
            if (!result.empty())
                result += '/';
            result += component;
        }
        component.clear();
    };
    for (const char c : memberName) {
        if (c == ':')
            continue;
        if (c == '/' || c == '\\')
            flush();
        else
            component += c;
    }
    flush();
    return result;
}

int CreateMemberFolders(const std::string& folder, std::string& name, BatchReporter& view, CreatedFolders* created)
{
    const std::string relative = SafeMemberPath(name);
    const std::string base = platform::WithTrailingSlash(folder);
    if (relative.empty()) {
        name.clear();
        return 0;
    }
    std::size_t slash = relative.find('/');
    const bool hasFolders = slash != std::string::npos;
    while (slash != std::string::npos) {
        const std::string sub = base + relative.substr(0, slash + 1);
        if (created == nullptr || created->insert(sub).second) {
            if (::mkdir(sub.c_str(), 0755) != 0 && errno != EEXIST)
                view.MessageBox(platform::SystemErrorText(errno), "Tavrin Lumiq", kMbOkInformation);
        }
        slash = relative.find('/', slash + 1);
    }
    name = base + relative;
    return hasFolders ? 1 : 0;
}

MemberReport ExtractMember(const PackageEntry& entry, const std::string& packagePath, const std::string& targetPath,
                           int packageFd, std::string* memory)
{
    MemberReport report;
    report.name = entry.name;
    report.compressedSize = entry.compressedSize;
    report.uncompressedSize = entry.uncompressedSize;
    report.dataOffset = entry.dataOffset;
    report.sizeSource = entry.sizeSource;
    report.recordedCrc = entry.recordedCrc;
    if (entry.compressedSize == 0 && entry.uncompressedSize == 0)
        return report; // never listed; nothing to write

    if (targetPath.empty()) {
        SetDefect(report, MemberOutcome::NotWritten, MemberDefect::NameLeavesNothing);
        return report;
    }
    PendingFile out(targetPath, memory);

    // Equal sizes mean stored, whatever the method field said; except for a member sized
    // by inflating it, which is deflated whatever its sizes happen to be.
    const bool sizedByInflation = SizedByInflation(entry);
    if (entry.compressedSize == entry.uncompressedSize && !sizedByInflation) {
        FileDescriptor opened(packageFd >= 0 ? -1 : ::open(packagePath.c_str(), O_RDONLY | O_CLOEXEC));
        const int package = packageFd >= 0 ? packageFd : opened.Get();
        if (package < 0) {
            SetDefect(report, MemberOutcome::NotWritten, MemberDefect::PackageNotOpened, platform::SystemErrorText(errno),
                      false);
            return report;
        }
        CopyStored(entry, package, out, report);
        // Equal sizes do not prove a member stored: a small deflated member can come out
        // exactly as long as its contents. When the copy misses the recorded CRC, the
        // bytes are tried as a deflate stream, and what inflates to that CRC is kept.
        if (report.outcome == MemberOutcome::Written && entry.recordedCrc != 0 && out.crc() != entry.recordedCrc) {
            std::string inflatedBytes;
            PendingFile inflated(targetPath, memory != nullptr ? &inflatedBytes : nullptr);
            MemberReport tried = report;
            tried.bytesWritten = 0;
            Inflate(entry, packagePath, package, inflated, tried);
            if (tried.outcome == MemberOutcome::Written && inflated.crc() == entry.recordedCrc) {
                if (!inflated.Commit()) {
                    SetDefect(report, MemberOutcome::NotWritten, MemberDefect::WriteFailed, inflated.error(), false);
                    report.bytesWritten = 0;
                    return report;
                }
                if (memory != nullptr)
                    *memory = std::move(inflatedBytes);
                tried.writtenCrc = inflated.crc();
                tried.crcCheck = CrcCheck::Matches;
                return tried;
            }
        }
    } else {
        Inflate(entry, packagePath, packageFd, out, report);
    }

    if (report.outcome == MemberOutcome::Written || report.outcome == MemberOutcome::CutShort ||
        report.outcome == MemberOutcome::Salvaged) {
        if (!out.Commit()) {
            SetDefect(report, MemberOutcome::NotWritten, MemberDefect::WriteFailed, out.error(), false);
            report.bytesWritten = 0;
        } else if (report.outcome == MemberOutcome::Written && entry.recordedCrc != 0) {
            report.writtenCrc = out.crc();
            report.crcCheck = out.crc() == entry.recordedCrc ? CrcCheck::Matches : CrcCheck::Mismatch;
            if (report.crcCheck == CrcCheck::Mismatch)
                report.defect = MemberDefect::CrcMismatch;
        }
    } else {
        report.bytesWritten = 0;
    }
    return report;
}

namespace {

// Where the members of one package go: small ones no later step reads into the held
// folder while its budget lasts, everything else (and whatever did not come out
// whole) into the package folder. One path is only ever in one of the two places.
class MemberPlacement {
public:
    MemberPlacement(const std::string& base, HeldFolder* held) : base_(base), held_(held) {}

    MemberReport Extract(const PackageEntry& entry, const std::string& packagePath, const std::string& target,
                         int package, const CreatedFolders& created)
    {
        if (held_ == nullptr || target.size() <= base_.size())
            return ExtractMember(entry, packagePath, target, package);
        const std::string relative = target.substr(base_.size());
        const std::size_t size = entry.uncompressedSize;
        // A folder in the member's place, or a file in the place of its folder, fails
        // the member in the package folder; so it must fail, and it does there.
        const bool mayHold = size > 0 && size <= HeldFolder::kMaxHeldMember && !SizedByInflation(entry) &&
                             written_.count(relative) == 0 && created.count(target + "/") == 0 &&
                             HeldFolder::MayHold(relative) && ParentIsFolder(target);
        if (const std::size_t cost = HeldFolder::Cost(relative, size); mayHold && held_->Reserve(cost)) {
            std::string bytes;
            MemberReport member = ExtractMember(entry, packagePath, target, package, &bytes);
            if (member.outcome == MemberOutcome::Written && !bytes.empty()) {
                held_->Keep(relative, std::move(bytes), cost);
                return member;
            }
            // A member not recovered whole keeps what a file keeps of it.
            held_->Unreserve(cost);
        }
        held_->Drop(relative);
        written_.insert(relative);
        return ExtractMember(entry, packagePath, target, package);
    }

    // A held file where a later member needs a folder goes to the package folder first,
    // so that the later member meets it there, as it would have without holding.
    void SpillHeldFilesInTheWay(const std::string& memberName)
    {
        if (held_ == nullptr || held_->empty())
            return;
        const std::string relative = SafeMemberPath(memberName);
        for (std::size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', slash + 1)) {
            const std::string prefix = relative.substr(0, slash);
            const auto found = held_->files().find(prefix);
            if (found == held_->files().end())
                continue;
            platform::AtomicFileWriter file(base_ + prefix, 0644);
            const std::string_view bytes = found->second.Bytes();
            if (file.Write(bytes.data(), bytes.size()) && file.Commit()) {
                held_->Drop(prefix);
                written_.insert(prefix);
            }
        }
    }

private:
    bool ParentIsFolder(const std::string& target)
    {
        const std::string parent = target.substr(0, target.rfind('/'));
        const auto [at, added] = parentIsFolder_.try_emplace(parent, false);
        if (added) {
            struct stat info {};
            at->second = ::lstat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        }
        return at->second;
    }

    const std::string& base_;
    HeldFolder* held_;
    std::unordered_set<std::string> written_; // relative paths written to the package folder
    std::unordered_map<std::string, bool> parentIsFolder_;
};

} // namespace

MemberExtraction ExtractMembers(const std::string& folder, const std::string& packagePath,
                                std::span<const PackageEntry> entries,
                                const ScannedPackage& scanned, BatchReporter& view, HeldFolder* held)
{
    MemberExtraction extraction;
    const std::vector<LostMember>& lost = scanned.lost;
    const std::size_t count = entries.size() + lost.size();
    if (count == 0)
        return extraction;
    extraction.anyMember = true;
    // Without the scan's own descriptor, opened once for all members.
    const FileDescriptor opened(scanned.fd() >= 0 ? -1 : ::open(packagePath.c_str(), O_RDONLY | O_CLOEXEC));
    const int package = opened.IsOpen() ? opened.Get() : scanned.fd();
    const int range = static_cast<int>(std::min<std::size_t>(count, static_cast<std::size_t>(INT32_MAX)));
    view.SetProgressRange(ProgressBar::File, range);
    view.SetProgressPosition(ProgressBar::File, 0);

    const std::string base = platform::WithTrailingSlash(folder);
    CreatedFolders created;
    MemberPlacement placement(base, held);
    std::size_t failedListed = 0;
    // Members the scan found broken beyond the bound come after every listed failure.
    std::uint64_t failedNotListed = scanned.brokenNotKept;
    std::size_t nextListed = 0;
    std::size_t nextLost = 0;
    for (std::size_t i = 0; i < count; ++i) {
        // Lost members go in their place in file order, before the listed member that followed them.
        const bool takeLost = nextLost < lost.size() && (nextListed == entries.size() || lost[nextLost].listedBefore <= nextListed);
        MemberReport member;
        if (takeLost) {
            const LostMember& gone = lost[nextLost++];
            member.name = gone.entry.name;
            member.dataOffset = gone.entry.dataOffset;
            member.sizeSource = gone.entry.sizeSource;
            member.outcome = MemberOutcome::NotInflated;
            member.defect = gone.defect;
            member.error = gone.error;
        } else {
            const PackageEntry& entry = entries[nextListed++];
            if (SizedByInflation(entry))
                view.AddLogLine(SizedByInflationLine(packagePath, entry), kBlack);
            placement.SpillHeldFilesInTheWay(entry.name);
            std::string target = entry.name;
            CreateMemberFolders(base, target, view, &created);
            member = placement.Extract(entry, packagePath, target, package, created);
        }
        if (member.outcome == MemberOutcome::Written || member.outcome == MemberOutcome::Salvaged ||
            (member.outcome == MemberOutcome::CutShort && member.bytesWritten > 0))
            ++extraction.membersRecovered;
        const std::string memberPath = SafeMemberPath(member.name);
        if (CompletionReadsMember(memberPath) || FirebirdCompletionReadsMember(memberPath))
            extraction.databaseMembers.push_back(member);
        if (!takeLost && memberPath == "content.xml" && member.outcome != MemberOutcome::NotInflated &&
            member.outcome != MemberOutcome::NotWritten && member.outcome != MemberOutcome::NotRead)
            extraction.contentXmlDamaged = member.outcome != MemberOutcome::Written || member.crcCheck == CrcCheck::Mismatch;
        // Lost members are bounded by the scan and all listed; other failures only up to
        // the bound, so a file of fake headers makes neither a report nor a log line each.
        // A member written with bytes that miss its recorded CRC is not whole either, and
        // fake headers of equal sizes are all written that way.
        const bool failed = member.outcome != MemberOutcome::Written;
        const bool notWhole = failed || member.crcCheck == CrcCheck::Mismatch;
        if (notWhole && !takeLost && failedListed == kMaxFailedMembersListed) {
            ++failedNotListed;
        } else {
            failedListed += notWhole && !takeLost ? 1 : 0;
            if (failed)
                view.AddLogLine(FailureLine(packagePath, member), kRed);
            else if (member.crcCheck == CrcCheck::Mismatch)
                view.AddLogLine(CrcMismatchLine(packagePath, member), kRed);
            extraction.members.push_back(std::move(member));
        }
        view.SetProgressPosition(ProgressBar::File, static_cast<int>(std::min<std::size_t>(i, static_cast<std::size_t>(range))));
    }
    if (failedNotListed > 0) {
        view.AddLogLine(packagePath + " " + std::to_string(failedNotListed) +
                            " more members could not be recovered whole, they are not listed one by one....\r\n",
                        kRed);
        extraction.failedNotListed = failedNotListed;
    }
    if (scanned.lostNotKept > 0) {
        view.AddLogLine(packagePath + " " + std::to_string(scanned.lostNotKept) +
                            " more members had lost their sizes and could not be sized, they are left out....\r\n",
                        kRed);
        extraction.lostNotListed = scanned.lostNotKept;
    }
    return extraction;
}

} // namespace tavrin
