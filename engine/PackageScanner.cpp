#include "engine/PackageScanner.h"
#include "engine/DeflateStartCheck.h"
#include "engine/PackageBytes.h"
#include "engine/TextUtil.h"
#include "platform/SystemError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace tavrin {
namespace {

constexpr std::size_t kFixedHeaderSize = 26; // local header fields after the signature
constexpr std::size_t kDescriptorFieldsSize = 12;
constexpr std::size_t kZip64DescriptorFieldsSize = 20;
constexpr std::uint32_t kZip64Marker = 0xFFFFFFFF;
constexpr std::uint64_t kLargestSize = 0xFFFFFFFF;
constexpr std::uint64_t kNotFound = ~std::uint64_t{0};

// A window of the file kept in memory. Reads are whole blocks starting where the
// search needs them, so a signature that straddles two blocks is seen whole in the next.
class BlockWindow {
public:
    BlockWindow(int fd, std::uint64_t length, std::size_t blockSize, const std::atomic<int>* running)
        : fd_(fd), length_(length), running_(running), bufferSize_(std::max<std::size_t>(blockSize, 4)),
          // Not zeroed: only bytes read into it are ever looked at.
          buffer_(std::make_unique_for_overwrite<unsigned char[]>(bufferSize_))
    {
    }

    bool Stopped() const { return stopped_; }
    // The errno of the first read that failed (0: none), and where it was.
    int ReadError() const { return readError_; }
    std::uint64_t ReadErrorOffset() const { return readErrorOffset_; }

    // First offset w >= from with w + 4 <= length whose four bytes are "PK\3\4", or
    // also "PK\7\8" when `descriptorToo`. kNotFound at the end of the file, on a read
    // failure, or once the running flag reads 0.
    std::uint64_t FindSignature(std::uint64_t from, bool descriptorToo)
    {
        std::uint64_t w = from;
        while (w < length_ && length_ - w >= 4) {
            if (running_ != nullptr && running_->load(std::memory_order_relaxed) == 0) {
                stopped_ = true;
                return kNotFound;
            }
            if (!Covers(w, 4) && !Load(w))
                return kNotFound;
            const unsigned char* base = buffer_.get();
            const unsigned char* p = base + (w - start_);
            const unsigned char* end = base + filled_ - 3; // last place a whole window fits
            while (p < end) {
                const auto* q = static_cast<const unsigned char*>(std::memchr(p, 'P', static_cast<std::size_t>(end - p)));
                if (q == nullptr)
                    break;
                if (q[1] == 'K' && ((q[2] == 3 && q[3] == 4) || (descriptorToo && q[2] == 7 && q[3] == 8)))
                    return start_ + static_cast<std::uint64_t>(q - base);
                p = q + 1;
            }
            w = start_ + filled_ - 3;
        }
        return kNotFound;
    }

    // Copies up to `size` bytes at `offset`; returns how many the file had.
    std::size_t Read(std::uint64_t offset, unsigned char* out, std::size_t size)
    {
        if (size == 0 || offset >= length_)
            return 0;
        size = static_cast<std::size_t>(std::min<std::uint64_t>(size, length_ - offset));
        if (size <= bufferSize_) {
            if (!Covers(offset, size) && !Load(offset))
                return 0;
            const std::size_t available = std::min<std::size_t>(size, filled_ - static_cast<std::size_t>(offset - start_));
            std::memcpy(out, buffer_.get() + (offset - start_), available);
            return available;
        }
        return Fetch(offset, out, size);
    }

private:
    bool Covers(std::uint64_t offset, std::size_t size) const
    {
        return offset >= start_ && offset - start_ + size <= filled_;
    }

    std::size_t Fetch(std::uint64_t offset, unsigned char* out, std::size_t size)
    {
        int error = 0;
        const std::size_t done = ReadAt(fd_, offset, out, size, &error);
        if (error != 0 && readError_ == 0) {
            readError_ = error;
            readErrorOffset_ = offset + done;
        }
        return done;
    }

    bool Load(std::uint64_t offset)
    {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(bufferSize_, length_ - offset));
        const std::size_t done = Fetch(offset, buffer_.get(), want);
        start_ = offset;
        filled_ = done;
        // A file that shrank under us ends the search like its end would.
        return done >= 4 || done == want;
    }

    int fd_;
    std::uint64_t length_;
    const std::atomic<int>* running_;
    std::size_t bufferSize_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
    bool stopped_ = false;
    int readError_ = 0;
    std::uint64_t readErrorOffset_ = 0;
};

// Where a member's data ends, a writer puts the next local header, a data descriptor
// (with or without its signature), the central directory, or the end of the file.
// Anything else there means the compressed size the header declares is not the
// member's. Past the end of the file counts as wrong too: a size whose high byte was
// hit would otherwise carry the search over every member behind it.
bool EndLooksRight(BlockWindow& window, std::uint64_t end, std::uint64_t length, std::uint32_t crc,
                   std::uint32_t compressed, std::uint32_t uncompressed)
{
    if (end == length)
        return true;
    if (end > length)
        return false;
    unsigned char at[12];
    const std::size_t got = window.Read(end, at, sizeof at);
    if (got >= 4 && at[0] == 'P' && at[1] == 'K') {
        const unsigned char a = at[2];
        const unsigned char b = at[3];
        if ((a == 3 && b == 4) || (a == 1 && b == 2) || (a == 5 && b == 6) || (a == 7 && b == 8) ||
            (a == 6 && (b == 6 || b == 7)))
            return true;
    }
    return got == sizeof at && Le32(at) == crc && Le32(at + 4) == compressed && Le32(at + 8) == uncompressed;
}

// Whether the fields of a local header read up to `available` bytes (after its
// signature) could be a writer's: a cut header is reported as a lost member only then,
// not for every "PK\3\4" that happens to stand near the end of the file. At least
// the version and the flags must be there to judge.
bool CutHeaderLooksReal(const unsigned char* fields, std::size_t available)
{
    if (available < 4)
        return false;
    const std::uint16_t version = Le16(fields);
    const std::uint16_t flags = Le16(fields + 2);
    // Encrypted, compression options, descriptor, patched, strong encryption, UTF-8, masked.
    constexpr std::uint16_t kKnownFlags = 0x0001 | 0x0006 | 0x0008 | 0x0020 | 0x0040 | 0x0800 | 0x2000;
    if (version > 63 || (flags & ~kKnownFlags) != 0)
        return false;
    if (available >= 6 && Le16(fields + 4) != 0 && Le16(fields + 4) != 8)
        return false;
    if (available >= 8) {
        const std::uint16_t time = Le16(fields + 6);
        if ((time >> 11) > 23 || ((time >> 5) & 0x3F) > 59 || (time & 0x1F) > 29)
            return false;
    }
    if (available >= 10) {
        const std::uint16_t date = Le16(fields + 8);
        const unsigned month = (date >> 5) & 0x0F;
        const unsigned day = date & 0x1F;
        if (date != 0 && (month < 1 || month > 12 || day < 1))
            return false;
    }
    return available < kFixedHeaderSize || Le16(fields + 22) != 0;
}

// Whether a local header that reads like a writer's stands in [from, to): its
// signature and fixed fields there, a name, and the fields sane.
bool HeaderInside(BlockWindow& window, std::uint64_t from, std::uint64_t to)
{
    for (std::uint64_t at = from; at < to;) {
        const std::uint64_t found = window.FindSignature(at, false);
        if (found == kNotFound || found >= to)
            return false;
        unsigned char fields[kFixedHeaderSize];
        if (window.Read(found + 4, fields, sizeof fields) == sizeof fields && CutHeaderLooksReal(fields, sizeof fields) &&
            found + 4 + kFixedHeaderSize + Le16(fields + 22) <= to)
            return true;
        at = found + 1;
    }
    return false;
}

// Members whose stream breaks at once, beyond the first `keep`, are counted, not listed.
struct BrokenMemberLimit {
    std::size_t keep = 0;
    std::uint64_t met = 0;
    std::uint64_t notKept = 0;
    DeflateStartCheck check;
};

// True when the extraction would inflate the member and its stream breaks before the
// first byte, so nothing of it could be written. Members sized by inflating them are
// known to inflate; equal sizes are copied; a member of size 0 is written empty.
bool BreaksAtOnce(BlockWindow& window, const PackageEntry& entry, DeflateStartCheck& check)
{
    if (entry.compressedSize == entry.uncompressedSize || entry.uncompressedSize == 0 ||
        (entry.sizeSource != SizeSource::LocalHeader && entry.sizeSource != SizeSource::DataDescriptor))
        return false;
    unsigned char start[DeflateStartCheck::kLookAhead];
    const std::size_t got =
        window.Read(entry.dataOffset, start, std::min<std::size_t>(entry.compressedSize, sizeof start));
    return got > 0 && check.BreaksBeforeFirstByte(start, got);
}

void ScanWindow(BlockWindow& window, std::uint64_t length, ScanList& entries, UnsizedMemberRecovery* sizer,
                BrokenMemberLimit* broken);

} // namespace

PackageScanner::PackageScanner(const std::atomic<int>* running, std::size_t blockSize)
    : running_(running), blockSize_(blockSize)
{
}

void PackageScanner::KeepBrokenMembers(std::size_t count)
{
    limitBroken_ = true;
    brokenKept_ = count;
}

void PackageScanner::Scan(int fd, std::uint64_t length, ScanList& entries, UnsizedMemberRecovery* sizer)
{
    BlockWindow window(fd, length, blockSize_, running_);
    std::optional<BrokenMemberLimit> broken;
    if (limitBroken_) {
        broken.emplace();
        broken->keep = brokenKept_;
    }
    ScanWindow(window, length, entries, sizer, broken ? &*broken : nullptr);
    brokenNotKept_ = broken ? broken->notKept : 0;
    readError_ = window.ReadError();
    readErrorOffset_ = window.ReadErrorOffset();
}

namespace {

void ScanWindow(BlockWindow& window, std::uint64_t length, ScanList& entries, UnsizedMemberRecovery* sizer,
                BrokenMemberLimit* broken)
{
    std::vector<unsigned char> name;
    std::uint64_t from = 0;
    for (;;) {
        const std::uint64_t signature = window.FindSignature(from, false);
        if (signature == kNotFound)
            return;

        // A header or name cut off by the end of the file ends the search: nothing
        // after it could hold a whole header either. For a repair a cut header that
        // reads like one is a member lost, and said so.
        unsigned char header[kFixedHeaderSize];
        const std::size_t headerRead = window.Read(signature + 4, header, sizeof header);
        if (headerRead < sizeof header) {
            if (sizer != nullptr && !window.Stopped() && window.ReadError() == 0 && CutHeaderLooksReal(header, headerRead))
                sizer->KeepCutHeader(PackageEntry{{}, 0, 0, signature, 0, SizeSource::LocalHeader}, entries.size());
            return;
        }
        const std::uint16_t method = Le16(header + 4);
        std::uint32_t crc = Le32(header + 10);
        std::uint32_t compressed = Le32(header + 14);
        std::uint32_t uncompressed = Le32(header + 18);
        const std::uint16_t nameLength = Le16(header + 22);
        const std::uint16_t extraLength = Le16(header + 24);

        const std::uint64_t afterName = signature + 4 + kFixedHeaderSize + nameLength;
        name.resize(nameLength);
        if (const std::size_t got = window.Read(signature + 4 + kFixedHeaderSize, name.data(), nameLength);
            got < nameLength) {
            if (sizer != nullptr && window.ReadError() == 0 && CutHeaderLooksReal(header, sizeof header)) {
                std::string start(name.begin(), std::find(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(got), 0));
                sizer->KeepCutHeader(PackageEntry{std::move(start), 0, 0, signature, Le32(header + 10), SizeSource::LocalHeader},
                                     entries.size());
            }
            return;
        }

        // The flag bit 3 is not trusted: a deflated member with both sizes 0 looks for
        // its data descriptor, and gives up at the next local header. For a repair the
        // ZIP64 marker 0xFFFFFFFF as compressed size counts as lost too (a streamed member written with
        // ZIP64 keeps its sizes behind its data; erased flash reads the same), and a
        // descriptor counts only when it records the distance it stands from the data:
        // four bytes of compressed data that happen to read "PK\7\8" do not.
        SizeSource source = SizeSource::LocalHeader;
        bool sizesLost = false;
        const bool zip64Marker = compressed == kZip64Marker;
        if (method == 8 && ((compressed == 0 && uncompressed == 0) || (sizer != nullptr && zip64Marker))) {
            sizesLost = true;
            compressed = 0;
            uncompressed = 0;
            const std::uint64_t dataStart = afterName + extraLength;
            std::uint64_t searchFrom = afterName - 3;
            for (;;) {
                const std::uint64_t found = window.FindSignature(searchFrom, true);
                unsigned char fields[kZip64DescriptorFieldsSize];
                if (found == kNotFound || window.Read(found + 2, fields, 2) != 2 || fields[0] != 7)
                    break;
                const std::size_t got = window.Read(found + 4, fields, sizeof fields);
                if (got < kDescriptorFieldsSize)
                    break;
                if (sizer == nullptr) {
                    crc = Le32(fields);
                    compressed = Le32(fields + 4);
                    uncompressed = Le32(fields + 8);
                    source = SizeSource::DataDescriptor;
                    break;
                }
                if (found >= dataStart && found - dataStart <= kLargestSize) {
                    const auto distance = static_cast<std::uint32_t>(found - dataStart);
                    if (Le32(fields + 4) == distance && distance != 0) {
                        crc = Le32(fields);
                        compressed = distance;
                        uncompressed = Le32(fields + 8);
                        // The ZIP64 form: eight-byte sizes, the high half of the first 0.
                        if (got == sizeof fields && Le32(fields + 8) == 0 && Le32(fields + 16) == 0 &&
                            Le32(fields + 12) != 0)
                            uncompressed = Le32(fields + 12);
                        source = SizeSource::DataDescriptor;
                        break;
                    }
                }
                searchFrom = found + 1;
            }
            if (window.Stopped())
                return;
        }

        const auto nameEnd = std::find(name.begin(), name.end(), 0);
        std::string text(name.begin(), nameEnd);
        if (text.size() > kMaxMemberNameLength)
            text.resize(kMaxMemberNameLength);

        const std::uint64_t dataOffset = afterName + extraLength;
        // Whether the search may jump over the member's data. For a repair a claimed
        // extent is believed only where it ends as a member can end, or once inflating
        // the stream found its true end; otherwise the search goes on inside the data,
        // so a size hit by damage cannot carry it over the members behind.
        bool extentTrusted = true;
        if ((compressed != 0 || uncompressed != 0) && !text.empty()) {
            PackageEntry entry{std::move(text), compressed, uncompressed, dataOffset, crc, source};
            if (sizer != nullptr && EndLooksRight(window, dataOffset + compressed, length, crc, compressed, uncompressed)) {
                // An extent that ends right may still be a size hit by damage that lands
                // on a later member's end: one that holds a local header and does not
                // give its recorded CRC hides that member, so the search goes on inside.
                if (source == SizeSource::LocalHeader && compressed != 0 && entry.recordedCrc != 0 &&
                    HeaderInside(window, dataOffset, dataOffset + compressed) && !sizer->MatchesRecordedCrc(entry))
                    extentTrusted = false;
            } else if (sizer != nullptr) {
                extentTrusted = false;
                if (method == 8 && source == SizeSource::LocalHeader && compressed != 0) {
                    if (std::optional<PackageEntry> corrected = sizer->CorrectCompressedSize(entry)) {
                        entry = std::move(*corrected);
                        compressed = entry.compressedSize;
                        extentTrusted = true;
                    }
                }
            }
            if (broken != nullptr && BreaksAtOnce(window, entry, broken->check) && broken->met++ >= broken->keep)
                ++broken->notKept;
            else
                entries.push_back(std::move(entry));
        } else if (sizesLost && sizer != nullptr && !text.empty()) {
            // Sized here, in file order, rather than collected for later: a file of fake
            // headers would otherwise need memory for every one of them.
            if (std::optional<PackageEntry> sized = sizer->SizeLost(
                    PackageEntry{std::move(text), 0, 0, dataOffset, crc, SizeSource::LocalHeader}, entries.size())) {
                compressed = sized->compressedSize; // a header inside its data is only data
                entries.push_back(std::move(*sized));
            }
        }

        from = extentTrusted ? dataOffset + compressed - 3 : dataOffset;
    }
}

} // namespace

} // namespace tavrin
