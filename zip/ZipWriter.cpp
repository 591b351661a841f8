#include "zip/ZipWriter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <libdeflate.h>
#include <unistd.h>

#include "platform/FileInformation.h"
#include "platform/FileIo.h"
#include "platform/TimeConversion.h"
#include "zip/CompressionPool.h"

namespace tavrin::zip {

namespace {

// Pieces a member is read and deflated in. libdeflate starts each piece without
// history; at this size that costs well under a percent of the output, and a piece
// is small enough that a few of them in flight per core keep memory low.
constexpr std::size_t kPieceSize = 256 * 1024;
// Pieces read ahead of the output per worker: enough to keep every core busy while
// the writer waits for the oldest one.
constexpr std::size_t kPiecesInFlightPerWorker = 4;
// Pieces an archive may have in flight however many archives share the pool: one being
// written while the next is deflated.
constexpr std::size_t kMinPiecesInFlight = 2;

constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr std::uint32_t kEndRecordSignature = 0x06054B50;
constexpr std::uint32_t kZip64EndRecordSignature = 0x06064B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr std::uint32_t kDataDescriptorSignature = 0x08074B50;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kLocalExtraSize = 17;
constexpr std::size_t kCentralExtraSize = 9;
constexpr std::size_t kLocalZip64ExtraSize = 20;
constexpr std::size_t kZip64EndRecordSize = 56;
constexpr std::uint16_t kExtendedTimeStampId = 0x5455;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint8_t kAllThreeTimes = 7;
constexpr std::uint16_t kFlagDescriptorFollows = 0x0008;
constexpr std::uint16_t kFlagMaximumCompression = 0x0002;
constexpr std::uint16_t kFlagUtf8Name = 0x0800;
constexpr std::uint16_t kVersionNeededZip64 = 45;
constexpr std::uint16_t kVersionMadeByZip64 = 0x0B2D; // host 11, version 4.5
constexpr std::size_t kMaxNameLength = 0xFFFF;
constexpr std::uint32_t kAllOnes32 = 0xFFFFFFFF;
constexpr std::uint16_t kAllOnes16 = 0xFFFF;

constexpr std::uint32_t kExternalRegularFile = 0x80000000;  // S_IFREG in the high word
constexpr std::uint32_t kExternalDirectory = 0x40000000;    // S_IFDIR
constexpr std::uint32_t kExternalOwnerRead = 0x01000000;
constexpr std::uint32_t kExternalOwnerWrite = 0x00800000;
constexpr std::uint32_t kExternalOwnerExecute = 0x00400000;
constexpr std::uint32_t kExternalFolderEntry = 0x41C00010;

// Little-endian record builder.
class RecordBytes {
public:
    void U8(std::uint8_t value) { bytes_.push_back(value); }
    void U16(std::uint16_t value)
    {
        U8(static_cast<std::uint8_t>(value));
        U8(static_cast<std::uint8_t>(value >> 8));
    }
    void U32(std::uint32_t value)
    {
        U16(static_cast<std::uint16_t>(value));
        U16(static_cast<std::uint16_t>(value >> 16));
    }
    void U64(std::uint64_t value)
    {
        U32(static_cast<std::uint32_t>(value));
        U32(static_cast<std::uint32_t>(value >> 32));
    }
    void Bytes(const std::string& text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }
    void Bytes(const std::vector<unsigned char>& data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
    const unsigned char* Data() const { return bytes_.data(); }
    std::size_t Size() const { return bytes_.size(); }
    void Clear() { bytes_.clear(); }

private:
    std::vector<unsigned char> bytes_;
};

std::uint32_t ReadU32(const unsigned char* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8
        | static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// An MS-DOS/Windows program: "MZ" at the start and, at the offset stored at byte 60,
// an MZ, NE, LE or PE signature followed by two zero bytes. The source is read at
// those places only; a read that fails just means "not a program".
bool LooksExecutable(int fd, std::uint64_t size)
{
    if (size <= 40)
        return false;
    auto& io = platform::FileIo::Current();
    unsigned char head[64] = {};
    if (io.Seek(fd, 0, SEEK_SET) != 0 || platform::ReadUpTo(fd, head, sizeof head) != static_cast<ssize_t>(sizeof head))
        return false;
    if (head[0] != 'M' || head[1] != 'Z')
        return false;
    const std::uint64_t headerOffset = ReadU32(head + 60);
    if (headerOffset + 52 >= size)
        return false;
    unsigned char signature[4] = {};
    if (io.Seek(fd, static_cast<off_t>(headerOffset), SEEK_SET) != static_cast<off_t>(headerOffset)
        || platform::ReadUpTo(fd, signature, sizeof signature) != static_cast<ssize_t>(sizeof signature))
        return false;
    const std::uint32_t value = ReadU32(signature);
    return value == 0x00005A4D || value == 0x0000454E || value == 0x0000454C || value == 0x00004550;
}

std::string BaseNameOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF) with at
// least one byte outside ASCII: the names that carry the UTF-8 flag. Pure ASCII reads
// the same either way, and any other name is left as the bytes it is.
bool IsUtf8BeyondAscii(std::string_view name)
{
    bool beyondAscii = false;
    for (std::size_t i = 0; i < name.size();) {
        const auto lead = static_cast<unsigned char>(name[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        beyondAscii = true;
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (i + length > name.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(name[i + k]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF))
                return false;
        }
        i += length;
    }
    return beyondAscii;
}

std::size_t ExtraSize(const ZipMemberInfo& member, bool central)
{
    if (member.withoutExtraField)
        return 0;
    return central ? kCentralExtraSize : kLocalExtraSize;
}

void AppendExtraField(RecordBytes& record, const ZipMemberInfo& member, bool central)
{
    if (member.withoutExtraField)
        return;
    record.U16(kExtendedTimeStampId);
    record.U16(central ? 5 : 13);
    record.U8(kAllThreeTimes); // the central form keeps the local flags though it carries one time
    record.U32(member.modificationTime);
    if (!central) {
        record.U32(member.accessTime);
        record.U32(member.creationTime);
    }
}

std::uint32_t Field32(std::uint64_t value, bool escaped)
{
    return escaped ? kAllOnes32 : static_cast<std::uint32_t>(value);
}

// The fields both headers share, in the same order, from the method to the sizes.
void AppendMethodToSizes(RecordBytes& record, const ZipMemberInfo& member, bool compressedEscaped,
                         bool uncompressedEscaped)
{
    record.U16(member.method);
    record.U32(member.dosDateTime);
    record.U32(member.crc32);
    record.U32(Field32(member.compressedSize, compressedEscaped));
    record.U32(Field32(member.uncompressedSize, uncompressedEscaped));
}

std::size_t LocalHeaderLength(const ZipMemberInfo& member)
{
    return kLocalHeaderSize + member.name.size() + ExtraSize(member, false) + (member.localZip64 ? kLocalZip64ExtraSize : 0);
}

} // namespace

struct ZipWriter::OpenSource {
    int fd = -1;
    platform::FileDescriptor opened; // fd, when the writer opened it itself
    const unsigned char* memory = nullptr;
    std::size_t memoryLength = 0;
    std::size_t memoryPosition = 0;
    // The memory's bytes deflated whole ahead of time, when they were, and the pool
    // that deflates them.
    std::shared_ptr<ChunkJob> deflatedEarly;
    std::shared_ptr<CompressionPool> deflatedBy;
    bool noData = false;

    std::uint32_t externalAttributes = 0;
    std::uint32_t dosDateTime = 0;
    std::uint32_t accessTime = 0;
    std::uint32_t modificationTime = 0;
    std::uint32_t creationTime = 0;
    std::uint64_t expectedSize = 0;
    bool sizeKnown = false;

    std::uint64_t bytesRead = 0;
    std::uint32_t crc = 0;

    OpenSource() = default;
    OpenSource(const OpenSource&) = delete;
    OpenSource& operator=(const OpenSource&) = delete;
};

struct ZipWriter::PendingMember {
    ZipMemberInfo info;
    // Kept open until the member is written: deflated data that turns out no shorter
    // than the source is replaced by the source read again.
    std::unique_ptr<OpenSource> source;
    // Pieces handed to the pool and not yet written, in order.
    std::deque<std::shared_ptr<ChunkJob>> pieces;
    bool anySubmitted = false;
    // The local header is (being) written; info.localHeaderOffset is its place.
    bool started = false;
    // The local header carries the final CRC and sizes already.
    bool headerFinal = false;
    // What the first local header said the compressed size was (streamed stored members).
    std::uint64_t announcedCompressedSize = 0;
    std::uint64_t dataWritten = 0;
};

ZipWriter::ZipWriter(int fd, bool canSeek, std::uint64_t baseOffset)
    : fd_(fd), canSeek_(canSeek), baseOffset_(baseOffset), limits_(CurrentZip64Limits())
{
}

ZipWriter::~ZipWriter()
{
    pending_.clear();
    if (pool_)
        pool_->ArchiveEnded();
    pool_.reset();
}

bool ZipWriter::IsStoredByName(std::string_view name)
{
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    const std::string_view suffix = name.substr(dot);
    static constexpr std::array<std::string_view, 8> compressedAlready = {".Z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz"};
    return std::any_of(compressedAlready.begin(), compressedAlready.end(), [suffix](std::string_view known) {
        return known.size() == suffix.size() && std::equal(known.begin(), known.end(), suffix.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        });
    });
}

CompressionPool& ZipWriter::Pool()
{
    if (!pool_) {
        pool_ = CompressionPool::Shared();
        pool_->ArchiveStarted();
    }
    return *pool_;
}

ZipResult ZipWriter::Fail(ZipResult result)
{
    lastError_ = errno;
    return result;
}

ZipResult ZipWriter::TakeBack(std::uint64_t localHeaderOffset, ZipResult result)
{
    if (canSeek_ && SeekTo(localHeaderOffset)) {
        bytesWritten_ = localHeaderOffset - baseOffset_;
        tookBack_ = true;
    }
    return result;
}

bool ZipWriter::Write(const void* data, std::size_t size)
{
    const char* next = static_cast<const char*>(data);
    auto& io = platform::FileIo::Current();
    while (size > 0) {
        const ssize_t written = io.Write(fd_.Get(), next, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        bytesWritten_ += static_cast<std::uint64_t>(written);
        next += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool ZipWriter::SeekTo(std::uint64_t absoluteOffset)
{
    return platform::FileIo::Current().Seek(fd_.Get(), static_cast<off_t>(absoluteOffset), SEEK_SET)
        == static_cast<off_t>(absoluteOffset);
}

void ZipWriter::UseTimesOfNow(OpenSource& open)
{
    // The conversions ask the time zone each time (a stat of /etc/localtime): members
    // added within one second share them.
    const auto utc = static_cast<std::int64_t>(std::time(nullptr));
    if (utc != timesOfNow_.utc) {
        const std::int64_t now = platform::ShiftToLocal(utc);
        timesOfNow_ = {utc, platform::ToDosDateTime(now), platform::ToClampedUnixSeconds(now)};
    }
    open.dosDateTime = timesOfNow_.dosDateTime;
    open.accessTime = open.modificationTime = open.creationTime = timesOfNow_.unixSeconds;
}

ZipResult ZipWriter::ReadDiskFile(OpenSource& open, std::string_view fileName)
{
    platform::FileInformation info;
    if (const int error = platform::ReadFileInformation(open.fd, fileName, info); error != 0) {
        errno = error;
        return Fail(ZipOpenFailed);
    }
    if (!info.isRegularFile) {
        // Only plain files have data to archive; a folder is added as a folder entry.
        errno = info.isDirectory ? EISDIR : EINVAL;
        return Fail(ZipOpenFailed);
    }
    const std::int64_t modified = platform::ShiftToLocal(info.modificationTime);
    open.accessTime = platform::ToClampedUnixSeconds(platform::ShiftToLocal(info.accessTime));
    open.modificationTime = platform::ToClampedUnixSeconds(modified);
    open.creationTime = platform::ToClampedUnixSeconds(platform::ShiftToLocal(info.creationTime));
    open.dosDateTime = platform::ToDosDateTime(modified);

    constexpr std::uint32_t copied = platform::FileAttributeReadOnly | platform::FileAttributeHidden
        | platform::FileAttributeSystem | platform::FileAttributeDirectory | platform::FileAttributeArchive;
    const bool readOnly = (info.attributes & platform::FileAttributeReadOnly) != 0;
    open.externalAttributes = (info.attributes & copied) | kExternalOwnerRead
        | (info.isDirectory ? kExternalDirectory : kExternalRegularFile)
        | (readOnly ? 0 : kExternalOwnerWrite)
        | (LooksExecutable(open.fd, info.size) ? kExternalOwnerExecute : 0);
    open.expectedSize = info.size;
    open.sizeKnown = true;
    if (platform::FileIo::Current().Seek(open.fd, 0, SEEK_SET) != 0)
        return Fail(ZipOpenFailed);
    return ZipOk;
}

ZipResult ZipWriter::OpenSourceFor(const ZipSource& source, OpenSource& open)
{
    switch (source.kind) {
    case ZipSourceFileName: {
        // O_NONBLOCK: opening a FIFO or device by mistake must not hang the writer;
        // such files are refused below.
        open.opened = platform::FileDescriptor(::open(source.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        if (!open.opened.IsOpen())
            return Fail(ZipOpenFailed);
        open.fd = open.opened.Get();
        const ZipResult result = ReadDiskFile(open, BaseNameOf(source.path));
        if (result == ZipOk)
            ::fcntl(open.fd, F_SETFL, O_RDONLY);
        return result;
    }
    case ZipSourceHandle: {
        if (source.fd < 0 || ::fcntl(source.fd, F_GETFD) < 0) {
            errno = EBADF;
            return Fail(ZipBadArguments);
        }
        open.fd = source.fd;
        platform::FileInformation info;
        if (platform::ReadFileInformation(source.fd, {}, info) == 0 && info.isRegularFile)
            return ReadDiskFile(open, {});
        open.externalAttributes = kExternalRegularFile;
        open.expectedSize = source.length;
        open.sizeKnown = source.length != 0;
        UseTimesOfNow(open);
        return ZipOk;
    }
    case ZipSourceMemory:
        if (source.data == nullptr || source.length == 0)
            return ZipBadArguments;
        open.memory = static_cast<const unsigned char*>(source.data);
        open.memoryLength = source.length;
        if (source.deflatedEarly && source.deflatedBy) {
            open.deflatedEarly = source.deflatedEarly;
            open.deflatedBy = source.deflatedBy;
        }
        open.externalAttributes = kExternalRegularFile;
        open.expectedSize = source.length;
        open.sizeKnown = true;
        UseTimesOfNow(open);
        return ZipOk;
    case ZipSourceFolder:
        open.noData = true;
        open.externalAttributes = kExternalFolderEntry;
        open.expectedSize = 0;
        open.sizeKnown = true;
        UseTimesOfNow(open);
        return ZipOk;
    }
    return ZipBadArguments;
}

ZipResult ZipWriter::ReadSource(OpenSource& open, unsigned char* buffer, std::size_t size, std::size_t& got)
{
    got = 0;
    if (open.noData)
        return ZipOk;
    if (open.memory != nullptr) {
        got = std::min(size, open.memoryLength - open.memoryPosition);
        std::memcpy(buffer, open.memory + open.memoryPosition, got);
        open.memoryPosition += got;
    } else {
        const ssize_t read = platform::ReadSome(open.fd, buffer, size);
        if (read < 0)
            return Fail(ZipReadFailed);
        got = static_cast<std::size_t>(read);
    }
    open.bytesRead += got;
    open.crc = libdeflate_crc32(open.crc, buffer, got);
    return ZipOk;
}

ZipResult ZipWriter::ReadPiece(OpenSource& open, std::vector<unsigned char>& piece, std::size_t capacity, bool& ended)
{
    piece.resize(capacity);
    std::size_t filled = 0;
    ended = false;
    while (filled < capacity) {
        std::size_t got = 0;
        if (const ZipResult read = ReadSource(open, piece.data() + filled, capacity - filled, got); read != ZipOk)
            return read;
        if (got == 0) {
            ended = true;
            break;
        }
        filled += got;
    }
    piece.resize(filled);
    return ZipOk;
}

ZipResult ZipWriter::ReadAndSubmit(PendingMember& member)
{
    OpenSource& open = *member.source;
    // Deflated whole ahead of time: the piece goes out as it is (a member stored by its
    // name is read as usual).
    if (open.deflatedEarly && member.info.method == 8 && open.deflatedEarly->whole && open.deflatedEarly->last) {
        open.crc = libdeflate_crc32(0, open.memory, open.memoryLength);
        open.bytesRead = open.memoryLength;
        open.memoryPosition = open.memoryLength;
        return Enqueue(member, open.deflatedEarly);
    }
    // A source of known size is read in pieces of just its size (one byte more, to
    // see its end in the same read), so a small member costs a small buffer.
    auto capacity = [&open] {
        if (!open.sizeKnown || open.bytesRead > open.expectedSize)
            return kPieceSize;
        return static_cast<std::size_t>(std::min<std::uint64_t>(kPieceSize, open.expectedSize - open.bytesRead + 1));
    };
    std::vector<unsigned char> current;
    bool ended = false;
    if (const ZipResult read = ReadPiece(open, current, capacity(), ended); read != ZipOk)
        return read;
    for (;;) {
        // A piece is the last one only when nothing follows it.
        std::vector<unsigned char> next;
        if (!ended) {
            if (const ZipResult read = ReadPiece(open, next, capacity(), ended); read != ZipOk)
                return read;
        }
        const bool last = next.empty();
        if (const ZipResult submitted = Submit(member, std::move(current), last); submitted != ZipOk)
            return submitted;
        if (last)
            return ZipOk;
        current = std::move(next);
    }
}

ZipResult ZipWriter::Submit(PendingMember& member, std::vector<unsigned char> piece, bool last)
{
    auto job = std::make_shared<ChunkJob>();
    job->input = std::move(piece);
    job->last = last;
    job->whole = last && !member.anySubmitted;
    job->deflate = member.info.method == 8;
    if (job->deflate)
        Pool().Submit(job);
    else
        job->done = true;
    return Enqueue(member, std::move(job));
}

ZipResult ZipWriter::Enqueue(PendingMember& member, std::shared_ptr<ChunkJob> job)
{
    member.anySubmitted = true;
    if (job->last) {
        member.info.crc32 = member.source->crc;
        member.info.uncompressedSize = member.source->bytesRead;
    }
    member.pieces.push_back(std::move(job));
    ++piecesInFlight_;

    // Bounded memory: the oldest pieces go out before more are read. Archives written at
    // once share the pieces the pool's workers need (each counts itself in while it
    // writes), so the memory in use stays that of one archive, whatever their number.
    const std::size_t pieces = kPiecesInFlightPerWorker * std::max(1u, pool_ ? pool_->Workers() : 1u);
    const std::size_t sharing = pool_ ? std::max<std::size_t>(1, pool_->ArchivesWriting()) : 1;
    const std::size_t limit = std::max(kMinPiecesInFlight, pieces / sharing);
    while (piecesInFlight_ > limit) {
        bool wrote = false;
        if (const ZipResult written = WriteNextPiece(true, wrote); written != ZipOk)
            return written;
        if (!wrote)
            break;
    }
    return ZipOk;
}

ZipResult ZipWriter::WriteNextPiece(bool wait, bool& wrote)
{
    wrote = false;
    if (pending_.empty() || pending_.front().pieces.empty())
        return ZipOk;
    PendingMember& member = pending_.front();
    const std::shared_ptr<ChunkJob> job = member.pieces.front();
    if (job->deflate) {
        // A piece deflated ahead of time is waited for through the pool that makes it.
        CompressionPool& pool = member.source->deflatedBy ? *member.source->deflatedBy : Pool();
        if (!wait && !pool.IsDone(*job))
            return ZipOk;
        pool.WaitFor(*job);
    }
    if (job->failed) {
        errno = ENOMEM;
        return OutputFailed(Fail(ZipWriteFailed));
    }
    if (!member.started) {
        if (const ZipResult started = StartMember(member, *job); started != ZipOk)
            return OutputFailed(started);
    }
    const std::vector<unsigned char>& data = job->Data();
    if (!data.empty() && !Write(data.data(), data.size()))
        return OutputFailed(Fail(ZipWriteFailed));
    member.dataWritten += data.size();
    member.pieces.pop_front();
    --piecesInFlight_;
    wrote = true;
    return job->last ? FinishMember(member) : ZipOk;
}

ZipResult ZipWriter::WriteAllPending()
{
    while (!pending_.empty()) {
        bool wrote = false;
        if (const ZipResult written = WriteNextPiece(true, wrote); written != ZipOk)
            return written;
        if (!wrote)
            break; // a member still being read; it is not the writer's to finish
    }
    return ZipOk;
}

ZipResult ZipWriter::StartMember(PendingMember& member, const ChunkJob& firstPiece)
{
    ZipMemberInfo& info = member.info;
    const OpenSource& open = *member.source;
    member.started = true;
    info.localHeaderOffset = baseOffset_ + bytesWritten_;
    if (firstPiece.storedInstead) {
        info.method = 0;
        info.flags &= static_cast<std::uint16_t>(~kFlagMaximumCompression);
    }
    if (firstPiece.whole && canSeek_) {
        // The member is read and compressed whole: its header is final at once.
        info.compressedSize = firstPiece.Data().size();
        info.flags &= static_cast<std::uint16_t>(~kFlagDescriptorFollows);
        info.localFlags = info.flags;
        info.localZip64 = limits_.FieldNeedsZip64(info.uncompressedSize) || limits_.FieldNeedsZip64(info.compressedSize);
        member.headerFinal = true;
    } else {
        // CRC and sizes follow: in a second pass over this header, or in a descriptor.
        // The level mark is not in this first header; a descriptor leaves it that way.
        const std::uint64_t size = firstPiece.whole ? info.uncompressedSize : open.expectedSize;
        const bool sizeKnown = firstPiece.whole || open.sizeKnown;
        info.localFlags = info.flags & static_cast<std::uint16_t>(~kFlagMaximumCompression);
        info.crc32 = 0;
        info.compressedSize = info.method == 0 && sizeKnown ? size : 0;
        info.uncompressedSize = sizeKnown ? size : kAllOnes32;
        info.localZip64 = sizeKnown && limits_.FieldNeedsZip64(size);
        member.announcedCompressedSize = info.compressedSize;
    }
    if (info.localZip64)
        info.versionNeeded = kVersionNeededZip64;
    return WriteLocalHeader(info);
}

ZipResult ZipWriter::FinishMember(PendingMember& member)
{
    ZipMemberInfo& info = member.info;
    if (!member.headerFinal) {
        info.crc32 = member.source->crc;
        info.uncompressedSize = member.source->bytesRead;
        info.compressedSize = member.dataWritten;
        if (info.method == 8 && canSeek_ && info.compressedSize >= info.uncompressedSize) {
            if (const ZipResult stored = StoreInPlace(member); stored != ZipOk)
                return OutputFailed(stored);
        }
        // A header written without room for ZIP64 sizes cannot take them afterwards.
        if (!info.localZip64
            && (limits_.FieldNeedsZip64(info.uncompressedSize) || limits_.FieldNeedsZip64(info.compressedSize)))
            return OutputFailed(ZipTooLarge);
        if (canSeek_) {
            info.flags &= static_cast<std::uint16_t>(~kFlagDescriptorFollows);
            info.localFlags = info.flags;
            if (const ZipResult completed = CompleteLocalHeader(info); completed != ZipOk)
                return OutputFailed(completed);
        } else {
            if (info.method == 0 && member.announcedCompressedSize != info.compressedSize)
                return OutputFailed(ZipMethodChanged);
            RecordBytes descriptor;
            descriptor.U32(kDataDescriptorSignature);
            descriptor.U32(info.crc32);
            if (info.localZip64) {
                descriptor.U64(info.compressedSize);
                descriptor.U64(info.uncompressedSize);
            } else {
                descriptor.U32(static_cast<std::uint32_t>(info.compressedSize));
                descriptor.U32(static_cast<std::uint32_t>(info.uncompressedSize));
            }
            if (!Write(descriptor.Data(), descriptor.Size()))
                return OutputFailed(Fail(ZipWriteFailed));
            info.flags = info.localFlags;
        }
    }
    members_.push_back(std::move(info));
    pending_.pop_front();
    return ZipOk;
}

ZipResult ZipWriter::StoreInPlace(PendingMember& member)
{
    OpenSource& open = *member.source;
    ZipMemberInfo& info = member.info;
    // Only a source that can be read again from its start qualifies; the member stays
    // deflated otherwise.
    if (open.memory != nullptr)
        open.memoryPosition = 0;
    else if (open.noData || platform::FileIo::Current().Seek(open.fd, 0, SEEK_SET) != 0)
        return ZipOk;
    const std::uint64_t firstReadSize = open.bytesRead;
    const std::uint32_t firstCrc = open.crc;
    open.bytesRead = 0;
    open.crc = 0;

    const std::uint64_t end = bytesWritten_;
    const std::uint64_t dataStart = info.localHeaderOffset + LocalHeaderLength(info);
    if (!SeekTo(dataStart))
        return Fail(ZipWriteFailed);
    bytesWritten_ = dataStart - baseOffset_;
    ZipResult result = ZipOk;
    std::vector<unsigned char> piece;
    for (bool ended = false; result == ZipOk && !ended;) {
        result = ReadPiece(open, piece, kPieceSize, ended);
        if (result == ZipOk && !piece.empty() && !Write(piece.data(), piece.size()))
            result = Fail(ZipWriteFailed);
    }
    if (result == ZipOk && (open.bytesRead != firstReadSize || open.crc != firstCrc)) {
        errno = EAGAIN; // the source changed between the two reads
        result = Fail(ZipReadFailed);
    }
    if (result != ZipOk)
        return result;
    // The stored bytes are no longer than the deflated ones they replace; what is left
    // of those is overwritten by the next member or cut off when the archive closes.
    if (bytesWritten_ != end)
        tookBack_ = true;
    info.method = 0;
    info.flags &= static_cast<std::uint16_t>(~kFlagMaximumCompression);
    info.compressedSize = open.bytesRead;
    return ZipOk;
}

ZipResult ZipWriter::OutputFailed(ZipResult result)
{
    const bool started = !pending_.empty() && pending_.front().started;
    const std::uint64_t offset = started ? pending_.front().info.localHeaderOffset : 0;
    for (const PendingMember& member : pending_) {
        names_.erase(member.info.name);
        piecesInFlight_ -= member.pieces.size();
    }
    pending_.clear();
    if (writeBehind_) {
        outputFailure_ = result;
        outputError_ = lastError_;
    }
    return started ? TakeBack(offset, result) : result;
}

ZipResult ZipWriter::ReadFailed(ZipResult result)
{
    const int error = lastError_;
    while (pending_.size() > 1) {
        bool wrote = false;
        if (const ZipResult written = WriteNextPiece(true, wrote); written != ZipOk)
            return written;
        if (!wrote)
            break;
    }
    lastError_ = error;
    if (pending_.empty())
        return result;
    PendingMember& member = pending_.back();
    names_.erase(member.info.name);
    piecesInFlight_ -= member.pieces.size();
    const bool started = member.started;
    const std::uint64_t offset = member.info.localHeaderOffset;
    pending_.pop_back();
    return started ? TakeBack(offset, result) : result;
}

ZipResult ZipWriter::WriteLocalHeader(const ZipMemberInfo& member)
{
    RecordBytes header;
    header.U32(kLocalHeaderSignature);
    header.U16(member.versionNeeded);
    header.U16(member.localFlags);
    AppendMethodToSizes(header, member, member.localZip64, member.localZip64);
    header.U16(static_cast<std::uint16_t>(member.name.size()));
    header.U16(static_cast<std::uint16_t>(ExtraSize(member, false) + (member.localZip64 ? kLocalZip64ExtraSize : 0)));
    header.Bytes(member.name);
    if (member.localZip64) {
        header.U16(kZip64ExtraId);
        header.U16(16);
        header.U64(member.uncompressedSize);
        header.U64(member.compressedSize);
    }
    AppendExtraField(header, member, false);
    return Write(header.Data(), header.Size()) ? ZipOk : Fail(ZipWriteFailed);
}

ZipResult ZipWriter::CompleteLocalHeader(const ZipMemberInfo& member)
{
    const std::uint64_t end = bytesWritten_;
    if (!SeekTo(member.localHeaderOffset))
        return Fail(ZipWriteFailed);
    ZipResult result = WriteLocalHeader(member);
    // A rewrite only replaces bytes already counted.
    bytesWritten_ = end;
    if (!SeekTo(baseOffset_ + end) && result == ZipOk)
        result = Fail(ZipWriteFailed);
    return result;
}

ZipResult ZipWriter::Add(const std::string& rawName, const ZipSource& source, const ZipAddOptions& options)
{
    lastError_ = 0;
    if (outputFailure_ != ZipOk) {
        lastError_ = outputError_;
        return outputFailure_;
    }
    if (rawName.empty())
        return ZipBadArguments;
    std::string name = rawName;
    std::replace(name.begin(), name.end(), '\\', '/');
    if (source.kind == ZipSourceFolder && name.back() != '/')
        name += '/';
    if (name.size() > kMaxNameLength)
        return ZipBadArguments;
    // Readers disagree about which of two members of one name counts; LibreOffice
    // refuses such a package.
    if (names_.count(name) != 0) {
        errno = EEXIST;
        return Fail(ZipBadArguments);
    }

    const bool stored = source.kind == ZipSourceFolder || options.storedWithoutExtraField || IsStoredByName(name);
    auto open = std::make_unique<OpenSource>();
    if (const ZipResult opened = OpenSourceFor(source, *open); opened != ZipOk)
        return opened;

    PendingMember member;
    ZipMemberInfo& info = member.info;
    info.flags = kFlagDescriptorFollows | (stored ? 0 : kFlagMaximumCompression) | (IsUtf8BeyondAscii(name) ? kFlagUtf8Name : 0);
    info.method = stored ? 0 : 8;
    info.dosDateTime = open->dosDateTime;
    info.externalAttributes = open->externalAttributes;
    info.name = std::move(name);
    info.withoutExtraField = options.storedWithoutExtraField;
    info.modificationTime = open->modificationTime;
    info.accessTime = open->accessTime;
    info.creationTime = open->creationTime;
    member.source = std::move(open);
    names_.insert(info.name);
    pending_.push_back(std::move(member));

    if (const ZipResult read = ReadAndSubmit(pending_.back()); read != ZipOk) {
        // An output failure has already taken back every pending member.
        if (pending_.empty() || outputFailure_ != ZipOk)
            return read;
        return ReadFailed(read);
    }
    if (!writeBehind_)
        return WriteAllPending();
    // Whatever is compressed already goes out now; the rest with a later add.
    for (bool wrote = true; wrote;) {
        if (const ZipResult written = WriteNextPiece(false, wrote); written != ZipOk)
            return written;
    }
    return ZipOk;
}

ZipResult ZipWriter::WriteCentralDirectory()
{
    const std::uint64_t directoryStart = baseOffset_ + bytesWritten_;
    RecordBytes pending;
    for (const ZipMemberInfo& member : members_) {
        const bool uncompressed64 = limits_.FieldNeedsZip64(member.uncompressedSize);
        const bool compressed64 = limits_.FieldNeedsZip64(member.compressedSize);
        const bool offset64 = limits_.FieldNeedsZip64(member.localHeaderOffset);
        const std::size_t zip64Size = (uncompressed64 + compressed64 + offset64) * 8;
        const bool zip64 = zip64Size > 0;
        pending.U32(kCentralHeaderSignature);
        pending.U16(zip64 ? kVersionMadeByZip64 : member.versionMadeBy);
        pending.U16(zip64 ? kVersionNeededZip64 : member.versionNeeded);
        pending.U16(member.flags);
        AppendMethodToSizes(pending, member, compressed64, uncompressed64);
        pending.U16(static_cast<std::uint16_t>(member.name.size()));
        pending.U16(static_cast<std::uint16_t>(ExtraSize(member, true) + (zip64 ? 4 + zip64Size : 0)));
        pending.U16(0); // comment length
        pending.U16(0); // disk number start
        pending.U16(0); // internal attributes
        pending.U32(member.externalAttributes);
        pending.U32(Field32(member.localHeaderOffset, offset64));
        pending.Bytes(member.name);
        if (zip64) {
            pending.U16(kZip64ExtraId);
            pending.U16(static_cast<std::uint16_t>(zip64Size));
            if (uncompressed64)
                pending.U64(member.uncompressedSize);
            if (compressed64)
                pending.U64(member.compressedSize);
            if (offset64)
                pending.U64(member.localHeaderOffset);
        }
        AppendExtraField(pending, member, true);
        // Headers go out in batches rather than one write each.
        if (pending.Size() >= kPieceSize) {
            if (!Write(pending.Data(), pending.Size()))
                return Fail(ZipWriteFailed);
            pending.Clear();
        }
    }
    if (!Write(pending.Data(), pending.Size()))
        return Fail(ZipWriteFailed);
    pending.Clear();

    const std::uint64_t count = members_.size();
    const std::uint64_t directorySize = baseOffset_ + bytesWritten_ - directoryStart;
    const bool count64 = limits_.CountNeedsZip64(count);
    const bool size64 = limits_.FieldNeedsZip64(directorySize);
    const bool start64 = limits_.FieldNeedsZip64(directoryStart);
    if (count64 || size64 || start64) {
        const std::uint64_t zip64EndOffset = baseOffset_ + bytesWritten_;
        pending.U32(kZip64EndRecordSignature);
        pending.U64(kZip64EndRecordSize - 12); // the record's size after this field
        pending.U16(kVersionMadeByZip64);
        pending.U16(kVersionNeededZip64);
        pending.U32(0); // this disk
        pending.U32(0); // disk where the central directory starts
        pending.U64(count);
        pending.U64(count);
        pending.U64(directorySize);
        pending.U64(directoryStart);
        pending.U32(kZip64LocatorSignature);
        pending.U32(0); // disk of the ZIP64 end record
        pending.U64(zip64EndOffset);
        pending.U32(1); // disks in all
    }
    pending.U32(kEndRecordSignature);
    pending.U16(0); // this disk
    pending.U16(0); // disk where the central directory starts
    pending.U16(count64 ? kAllOnes16 : static_cast<std::uint16_t>(count));
    pending.U16(count64 ? kAllOnes16 : static_cast<std::uint16_t>(count));
    pending.U32(Field32(directorySize, size64));
    pending.U32(Field32(directoryStart, start64));
    pending.U16(0); // comment length
    if (!Write(pending.Data(), pending.Size()))
        return Fail(ZipWriteFailed);
    return ZipOk;
}

ZipResult ZipWriter::Close()
{
    lastError_ = 0;
    ZipResult result = WriteAllPending();
    if (outputFailure_ != ZipOk) {
        result = outputFailure_;
        lastError_ = outputError_;
    }
    // After a failed member the members before it still get their directory.
    if (const ZipResult directory = WriteCentralDirectory(); directory != ZipOk && result == ZipOk)
        result = directory;
    members_.clear();
    names_.clear();
    pending_.clear();
    // Bytes of a failed member may lie past the end record when later members were
    // shorter; they would pass for a trailing comment.
    if (result == ZipOk && tookBack_ && fd_.IsOpen() && ::ftruncate(fd_.Get(), static_cast<off_t>(baseOffset_ + bytesWritten_)) != 0)
        result = Fail(ZipWriteFailed);

    if (fd_.Close() != 0 && result == ZipOk)
        result = Fail(ZipWriteFailed);
    return result;
}

} // namespace tavrin::zip
