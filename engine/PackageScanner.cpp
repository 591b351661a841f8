#include "engine/PackageScanner.h"
#include "engine/PackageBytes.h"
#include "engine/TextUtil.h"
#include "platform/SystemError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace tavrin {
namespace {

constexpr std::size_t kFixedHeaderSize = 26; // local header fields after the signature
constexpr std::size_t kDescriptorFieldsSize = 12;
constexpr std::uint64_t kNotFound = ~std::uint64_t{0};

// A window of the file kept in memory. Reads are whole blocks starting where the
// search needs them, so a signature that straddles two blocks is seen whole in the next.
class BlockWindow {
public:
    BlockWindow(int fd, std::uint64_t length, std::size_t blockSize, const std::atomic<int>* running)
        : fd_(fd), length_(length), running_(running), buffer_(std::max<std::size_t>(blockSize, 4))
    {
    }

    bool Stopped() const { return stopped_; }

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
            const unsigned char* base = buffer_.data();
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
        if (size <= buffer_.size()) {
            if (!Covers(offset, size) && !Load(offset))
                return 0;
            const std::size_t available = std::min<std::size_t>(size, filled_ - static_cast<std::size_t>(offset - start_));
            std::memcpy(out, buffer_.data() + (offset - start_), available);
            return available;
        }
        return ReadAt(fd_, offset, out, size);
    }

private:
    bool Covers(std::uint64_t offset, std::size_t size) const
    {
        return offset >= start_ && offset - start_ + size <= filled_;
    }

    bool Load(std::uint64_t offset)
    {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), length_ - offset));
        const std::size_t done = ReadAt(fd_, offset, buffer_.data(), want);
        start_ = offset;
        filled_ = done;
        // A file that shrank under us ends the search like its end would.
        return done >= 4 || done == want;
    }

    int fd_;
    std::uint64_t length_;
    const std::atomic<int>* running_;
    std::vector<unsigned char> buffer_;
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
    bool stopped_ = false;
};

} // namespace

PackageScanner::PackageScanner(const std::atomic<int>* running, std::size_t blockSize)
    : running_(running), blockSize_(blockSize)
{
}

void PackageScanner::Scan(int fd, std::uint64_t length, ScanList& entries, ScanList* unsized)
{
    BlockWindow window(fd, length, blockSize_, running_);
    std::vector<unsigned char> name;
    std::uint64_t from = 0;
    for (;;) {
        const std::uint64_t signature = window.FindSignature(from, false);
        if (signature == kNotFound)
            return;

        // A header or name cut off by the end of the file ends the search: nothing
        // after it could hold a whole header either.
        unsigned char header[kFixedHeaderSize];
        if (window.Read(signature + 4, header, sizeof header) < sizeof header)
            return;
        const std::uint16_t method = Le16(header + 4);
        std::uint32_t crc = Le32(header + 10);
        std::uint32_t compressed = Le32(header + 14);
        std::uint32_t uncompressed = Le32(header + 18);
        const std::uint16_t nameLength = Le16(header + 22);
        const std::uint16_t extraLength = Le16(header + 24);

        const std::uint64_t afterName = signature + 4 + kFixedHeaderSize + nameLength;
        name.resize(nameLength);
        if (window.Read(signature + 4 + kFixedHeaderSize, name.data(), nameLength) < nameLength)
            return;

        // The flag bit 3 is not trusted: a deflated member with both sizes 0 looks for
        // its data descriptor, and gives up at the next local header.
        SizeSource source = SizeSource::LocalHeader;
        bool sizesLost = false;
        if (compressed == 0 && uncompressed == 0 && method == 8) {
            sizesLost = true;
            const std::uint64_t found = window.FindSignature(afterName - 3, true);
            unsigned char fields[kDescriptorFieldsSize];
            if (found != kNotFound && window.Read(found + 2, fields, 2) == 2 && fields[0] == 7 &&
                window.Read(found + 4, fields, sizeof fields) == sizeof fields) {
                crc = Le32(fields);
                compressed = Le32(fields + 4);
                uncompressed = Le32(fields + 8);
                source = SizeSource::DataDescriptor;
            }
            if (window.Stopped())
                return;
        }

        const auto nameEnd = std::find(name.begin(), name.end(), 0);
        std::string text(name.begin(), nameEnd);
        if (text.size() > kMaxMemberNameLength)
            text.resize(kMaxMemberNameLength);

        const std::uint64_t dataOffset = afterName + extraLength;
        if ((compressed != 0 || uncompressed != 0) && !text.empty())
            entries.push_back(PackageEntry{std::move(text), compressed, uncompressed, dataOffset, crc, source});
        else if (sizesLost && unsized != nullptr && !text.empty())
            unsized->push_back(PackageEntry{std::move(text), 0, 0, dataOffset, crc, SizeSource::LocalHeader});

        from = dataOffset + compressed - 3;
    }
}

int ScanPackage(const std::string& path, ThreadContext& context, ScanList& entries, std::string* error,
                ScanList* unsized)
{
    WorkView& view = *context.view;
    // Non-blocking only so that a FIFO given by mistake cannot hang the batch.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) != 0) {
        const int fstatError = errno;
        ::close(fd);
        fd = -1;
        errno = fstatError;
    } else if (fd >= 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        fd = -1;
        errno = EISDIR;
    }
    if (fd < 0) {
        const std::string text = platform::SystemErrorText(errno);
        if (error != nullptr)
            *error = text;
        view.MessageBox(text, "Tavrin Lumiq", kMbOkInformation);
        return 0;
    }

    view.AddLogLine(path + " file is open....\r\n", kBlack);
    const std::uint64_t length = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
    PackageScanner(context.running).Scan(fd, length, entries, unsized);
    view.AddLogLine(path + " file is extracted....\r\n", kBlack);
    ::close(fd);
    view.AddLogLine(path + " file is closed....\r\n", kBlack);
    return 1;
}

} // namespace tavrin
