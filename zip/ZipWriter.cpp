#include "zip/ZipWriter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include "platform/FileInformation.h"
#include "platform/FileIo.h"
#include "platform/TimeConversion.h"

namespace tavrin::zip {

namespace {

constexpr std::size_t kChunk = 16384;
constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr std::uint32_t kEndRecordSignature = 0x06054B50;
constexpr std::uint32_t kDataDescriptorSignature = 0x08074B50;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kLocalExtraSize = 17;
constexpr std::size_t kCentralExtraSize = 9;
constexpr std::uint16_t kExtendedTimeStampId = 0x5455;
constexpr std::uint8_t kAllThreeTimes = 7;
constexpr std::uint16_t kFlagDescriptorFollows = 0x0008;
constexpr std::uint16_t kFlagMaximumCompression = 0x0002;
constexpr std::size_t kMaxNameLength = 0xFFFF;
constexpr std::size_t kMaxMembers = 0xFFFF;
// 0xFFFFFFFF itself tells readers to look for a ZIP64 field, so it is out of range too.
constexpr std::uint64_t kMaxFieldValue = 0xFFFFFFFE;
constexpr std::uint32_t kUnknownSize = 0xFFFFFFFF;

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
    void Bytes(const std::string& text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }
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

// The fields both headers share, in the same order: from the method to the length of
// the extra field.
void AppendSharedFields(RecordBytes& record, const ZipMemberInfo& member, bool central)
{
    record.U16(member.method);
    record.U32(member.dosDateTime);
    record.U32(member.crc32);
    record.U32(member.compressedSize);
    record.U32(member.uncompressedSize);
    record.U16(static_cast<std::uint16_t>(member.name.size()));
    record.U16(static_cast<std::uint16_t>(ExtraSize(member, central)));
}

} // namespace

struct ZipWriter::OpenSource {
    int fd = -1;
    bool closeWhenDone = false;
    const unsigned char* memory = nullptr;
    std::size_t memoryLength = 0;
    std::size_t memoryPosition = 0;
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

    ~OpenSource()
    {
        if (closeWhenDone && fd >= 0)
            ::close(fd);
    }
};

ZipWriter::ZipWriter(int fd, bool canSeek, std::uint64_t baseOffset)
    : fd_(fd), canSeek_(canSeek), baseOffset_(baseOffset), input_(kChunk), output_(kChunk)
{
}

ZipWriter::~ZipWriter()
{
    if (fd_ >= 0)
        ::close(fd_);
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
        const ssize_t written = io.Write(fd_, next, size);
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
    return platform::FileIo::Current().Seek(fd_, static_cast<off_t>(absoluteOffset), SEEK_SET)
        == static_cast<off_t>(absoluteOffset);
}

void ZipWriter::UseTimesOfNow(OpenSource& open)
{
    const std::int64_t now = platform::LocalNow();
    open.dosDateTime = platform::ToDosDateTime(now);
    open.accessTime = open.modificationTime = open.creationTime = platform::ToClampedUnixSeconds(now);
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
        open.fd = ::open(source.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (open.fd < 0)
            return Fail(ZipOpenFailed);
        open.closeWhenDone = true;
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
    if (open.bytesRead > kMaxFieldValue)
        return ZipTooLarge;
    open.crc = static_cast<std::uint32_t>(crc32(open.crc, buffer, static_cast<uInt>(got)));
    return ZipOk;
}

ZipResult ZipWriter::WriteData(const void* data, std::size_t size, ZipMemberInfo& member)
{
    if (static_cast<std::uint64_t>(member.compressedSize) + size > kMaxFieldValue)
        return ZipTooLarge;
    if (!Write(data, size))
        return Fail(ZipWriteFailed);
    member.compressedSize += static_cast<std::uint32_t>(size);
    return ZipOk;
}

ZipResult ZipWriter::CopyStored(OpenSource& open, ZipMemberInfo& member)
{
    member.compressedSize = 0;
    for (;;) {
        std::size_t got = 0;
        if (const ZipResult read = ReadSource(open, input_.data(), input_.size(), got); read != ZipOk)
            return read;
        if (got == 0)
            return ZipOk;
        if (const ZipResult written = WriteData(input_.data(), got, member); written != ZipOk)
            return written;
    }
}

ZipResult ZipWriter::Deflate(OpenSource& open, ZipMemberInfo& member)
{
    member.compressedSize = 0;
    z_stream stream{};
    if (deflateInit2(&stream, 8, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        errno = ENOMEM;
        return Fail(ZipWriteFailed);
    }
    ZipResult result = ZipOk;
    int status = Z_OK;
    while (result == ZipOk && status != Z_STREAM_END) {
        std::size_t got = 0;
        if (result = ReadSource(open, input_.data(), input_.size(), got); result != ZipOk)
            break;
        stream.next_in = input_.data();
        stream.avail_in = static_cast<uInt>(got);
        const int flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = output_.data();
            stream.avail_out = static_cast<uInt>(output_.size());
            status = deflate(&stream, flush);
            if (status == Z_STREAM_ERROR) {
                errno = EINVAL;
                result = Fail(ZipWriteFailed);
                break;
            }
            const std::size_t produced = output_.size() - stream.avail_out;
            if (produced > 0) {
                if (result = WriteData(output_.data(), produced, member); result != ZipOk)
                    break;
            }
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return result;
}

ZipResult ZipWriter::StoreInPlace(OpenSource& open, ZipMemberInfo& member)
{
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
    const std::uint64_t dataStart = member.localHeaderOffset + kLocalHeaderSize + member.name.size() + ExtraSize(member, false);
    if (!SeekTo(dataStart))
        return Fail(ZipWriteFailed);
    bytesWritten_ = dataStart - baseOffset_;
    ZipResult result = CopyStored(open, member);
    // The same length over the same bytes: later offsets do not move.
    if (result == ZipOk && (open.bytesRead != firstReadSize || open.crc != firstCrc)) {
        errno = EAGAIN; // the source changed between the two reads
        result = Fail(ZipReadFailed);
    }
    bytesWritten_ = end;
    if (!SeekTo(baseOffset_ + end) && result == ZipOk)
        result = Fail(ZipWriteFailed);
    if (result == ZipOk) {
        member.method = 0;
        member.flags &= static_cast<std::uint16_t>(~kFlagMaximumCompression);
    }
    return result;
}

ZipResult ZipWriter::WriteLocalHeader(const ZipMemberInfo& member)
{
    RecordBytes header;
    header.U32(kLocalHeaderSignature);
    header.U16(member.versionNeeded);
    header.U16(member.localFlags);
    AppendSharedFields(header, member, false);
    header.Bytes(member.name);
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
    if (rawName.empty())
        return ZipBadArguments;
    std::string name = rawName;
    std::replace(name.begin(), name.end(), '\\', '/');
    if (source.kind == ZipSourceFolder && name.back() != '/')
        name += '/';
    if (name.size() > kMaxNameLength)
        return ZipBadArguments;
    if (members_.size() >= kMaxMembers || baseOffset_ + bytesWritten_ > kMaxFieldValue)
        return ZipTooLarge;
    // Readers disagree about which of two members of one name counts; LibreOffice
    // refuses such a package.
    if (names_.count(name) != 0) {
        errno = EEXIST;
        return Fail(ZipBadArguments);
    }

    const bool stored = source.kind == ZipSourceFolder || options.storedWithoutExtraField || IsStoredByName(name);
    OpenSource open;
    if (const ZipResult opened = OpenSourceFor(source, open); opened != ZipOk)
        return opened;
    if (open.sizeKnown && open.expectedSize > kMaxFieldValue)
        return ZipTooLarge;

    ZipMemberInfo member;
    member.flags = kFlagDescriptorFollows;
    member.localFlags = kFlagDescriptorFollows;
    member.method = stored ? 0 : 8;
    member.dosDateTime = open.dosDateTime;
    member.externalAttributes = open.externalAttributes;
    member.compressedSize = stored && open.sizeKnown ? static_cast<std::uint32_t>(open.expectedSize) : 0;
    member.uncompressedSize = open.sizeKnown ? static_cast<std::uint32_t>(open.expectedSize) : kUnknownSize;
    member.localHeaderOffset = static_cast<std::uint32_t>(baseOffset_ + bytesWritten_);
    member.name = std::move(name);
    member.withoutExtraField = options.storedWithoutExtraField;
    member.modificationTime = open.modificationTime;
    member.accessTime = open.accessTime;
    member.creationTime = open.creationTime;
    const std::uint32_t announcedCompressedSize = member.compressedSize;

    if (const ZipResult header = WriteLocalHeader(member); header != ZipOk)
        return TakeBack(member.localHeaderOffset, header);

    ZipResult data;
    if (stored) {
        data = CopyStored(open, member);
    } else {
        member.flags |= kFlagMaximumCompression;
        data = Deflate(open, member);
    }
    // A deflated member exactly as long as its source would read back as stored: a
    // repair that lost the central directory knows a member only by its local header,
    // and takes equal sizes for a stored member whatever the method says. Storing it
    // takes the same room and reads back right either way.
    if (data == ZipOk && !stored && canSeek_ && member.compressedSize == open.bytesRead)
        data = StoreInPlace(open, member);
    if (data != ZipOk)
        return TakeBack(member.localHeaderOffset, data); // the member is not listed

    member.crc32 = open.crc;
    member.uncompressedSize = static_cast<std::uint32_t>(open.bytesRead);

    if (canSeek_) {
        member.flags &= static_cast<std::uint16_t>(~kFlagDescriptorFollows);
        member.localFlags = member.flags;
        if (const ZipResult completed = CompleteLocalHeader(member); completed != ZipOk)
            return TakeBack(member.localHeaderOffset, completed);
    } else {
        if (stored && announcedCompressedSize != member.compressedSize)
            return ZipMethodChanged;
        RecordBytes descriptor;
        descriptor.U32(kDataDescriptorSignature);
        descriptor.U32(member.crc32);
        descriptor.U32(member.compressedSize);
        descriptor.U32(member.uncompressedSize);
        if (!Write(descriptor.Data(), descriptor.Size()))
            return Fail(ZipWriteFailed);
        member.flags = member.localFlags;
    }
    names_.insert(member.name);
    members_.push_back(std::move(member));
    return ZipOk;
}

ZipResult ZipWriter::Close()
{
    lastError_ = 0;
    ZipResult result = ZipOk;
    const std::uint64_t directoryStart = bytesWritten_;
    std::uint64_t directorySize = 0;
    for (const ZipMemberInfo& member : members_)
        directorySize += kCentralHeaderSize + member.name.size() + ExtraSize(member, true);
    if (baseOffset_ + directoryStart > kMaxFieldValue || directorySize > kMaxFieldValue)
        result = ZipTooLarge;

    RecordBytes pending;
    for (const ZipMemberInfo& member : members_) {
        if (result != ZipOk)
            break;
        pending.U32(kCentralHeaderSignature);
        pending.U16(member.versionMadeBy);
        pending.U16(member.versionNeeded);
        pending.U16(member.flags);
        AppendSharedFields(pending, member, true);
        pending.U16(0); // comment length
        pending.U16(0); // disk number start
        pending.U16(0); // internal attributes
        pending.U32(member.externalAttributes);
        pending.U32(member.localHeaderOffset);
        pending.Bytes(member.name);
        AppendExtraField(pending, member, true);
        // Headers go out in batches rather than one write each.
        if (pending.Size() >= 4 * kChunk) {
            if (!Write(pending.Data(), pending.Size()))
                result = Fail(ZipWriteFailed);
            pending.Clear();
        }
    }
    if (result == ZipOk) {
        pending.U32(kEndRecordSignature);
        pending.U16(0); // this disk
        pending.U16(0); // disk where the central directory starts
        pending.U16(static_cast<std::uint16_t>(members_.size()));
        pending.U16(static_cast<std::uint16_t>(members_.size()));
        pending.U32(static_cast<std::uint32_t>(directorySize));
        pending.U32(static_cast<std::uint32_t>(baseOffset_ + directoryStart));
        pending.U16(0); // comment length
        if (!Write(pending.Data(), pending.Size()))
            result = Fail(ZipWriteFailed);
    }
    members_.clear();
    names_.clear();
    // Bytes of a failed member may lie past the end record when later members were
    // shorter; they would pass for a trailing comment.
    if (result == ZipOk && tookBack_ && fd_ >= 0 && ::ftruncate(fd_, static_cast<off_t>(baseOffset_ + bytesWritten_)) != 0)
        result = Fail(ZipWriteFailed);

    if (fd_ >= 0) {
        const int closed = ::close(fd_);
        fd_ = -1;
        if (closed != 0 && result == ZipOk)
            result = Fail(ZipWriteFailed);
    }
    return result;
}

} // namespace tavrin::zip
