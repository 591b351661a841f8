#include "zip/RawMemberInflater.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <new>
#include <unistd.h>
#include <zlib.h>

#include "platform/FileDescriptor.h"
#include "platform/FileIo.h"

namespace tavrin::zip {

namespace {

constexpr std::uint32_t kInputChunk = 16384;

} // namespace

class RawMemberReader {
public:
    RawMemberReader(platform::FileDescriptor file, std::uint64_t offset) : file_(std::move(file)), offset_(offset) {}
    ~RawMemberReader() { Release(); }
    RawMemberReader(const RawMemberReader&) = delete;
    RawMemberReader& operator=(const RawMemberReader&) = delete;

    UnzipResult Inflate(unsigned char* buffer, std::uint32_t length, MemberSizes& sizes);
    bool StreamEnded() const { return streamEnded_; }
    std::uint64_t TotalProduced() const { return totalProduced_; }
    int ReadError() const { return readError_; }

private:
    UnzipResult Prepare(const MemberSizes& sizes);
    UnzipResult Finish(UnzipResult result);
    void Release();

    platform::FileDescriptor file_;
    std::uint64_t offset_;
    // Set once the member has been read to its end or abandoned after an error.
    bool finished_ = false;
    bool prepared_ = false;
    std::unique_ptr<unsigned char[]> input_;
    z_stream stream_{};
    bool decoderReady_ = false;
    std::uint32_t remainingCompressed_ = 0;
    std::uint32_t remainingOutput_ = 0;
    bool streamEnded_ = false;
    std::uint64_t totalProduced_ = 0;
    int readError_ = 0;
};

UnzipResult RawMemberReader::Prepare(const MemberSizes& sizes)
{
    prepared_ = true;
    input_.reset(new (std::nothrow) unsigned char[kInputChunk]);
    if (!input_)
        return UnzipNoMemory;
    stream_ = z_stream{};
    if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK)
        return UnzipNoMemory;
    decoderReady_ = true;
    remainingCompressed_ = sizes.compressedSize;
    remainingOutput_ = sizes.uncompressedSize;
    if (platform::FileIo::Current().Seek(file_.Get(), static_cast<off_t>(offset_), SEEK_SET) < 0) {
        readError_ = errno;
        return UnzipReadFailed;
    }
    return UnzipOk;
}

void RawMemberReader::Release()
{
    if (decoderReady_)
        inflateEnd(&stream_);
    decoderReady_ = false;
    input_.reset();
}

UnzipResult RawMemberReader::Finish(UnzipResult result)
{
    Release();
    finished_ = true;
    return result;
}

UnzipResult RawMemberReader::Inflate(unsigned char* buffer, std::uint32_t length, MemberSizes& sizes)
{
    if (finished_)
        return UnzipBadArguments;
    if (!prepared_) {
        if (const UnzipResult prepared = Prepare(sizes); prepared != UnzipOk) {
            sizes.compressedSize = 0;
            return Finish(prepared);
        }
    }

    const std::uint32_t limit = std::min(length, remainingOutput_);
    std::uint32_t produced = 0;
    UnzipResult result = UnzipOk;
    // Once the final block is decoded nothing more can come out; the file is not read on.
    while (produced < limit && !streamEnded_) {
        if (stream_.avail_in == 0 && remainingCompressed_ > 0) {
            const ssize_t got = platform::ReadSome(file_.Get(), input_.get(), std::min(kInputChunk, remainingCompressed_));
            if (got <= 0) {
                readError_ = got < 0 ? errno : 0;
                result = UnzipReadFailed;
                break;
            }
            remainingCompressed_ -= static_cast<std::uint32_t>(got);
            stream_.next_in = input_.get();
            stream_.avail_in = static_cast<uInt>(got);
        }
        stream_.next_out = buffer + produced;
        stream_.avail_out = limit - produced;
        const int status = inflate(&stream_, Z_SYNC_FLUSH);
        const std::uint32_t out = (limit - produced) - stream_.avail_out;
        produced += out;
        remainingOutput_ -= out;
        totalProduced_ += out;
        if (status == Z_STREAM_END) {
            streamEnded_ = true;
        } else if (status != Z_OK) {
            // What zlib wrote before it met the damage is sound: damage found only after
            // the member's last byte (zlib may look ahead in the same call) leaves the
            // member whole, as it would have with a buffer ending sooner.
            if (remainingOutput_ == 0)
                break;
            // Z_BUF_ERROR here means the input ran out before the stream was complete.
            result = UnzipFlateError;
            break;
        }
        if (remainingOutput_ == 0)
            break;
    }

    sizes.compressedSize = result == UnzipOk ? produced : 0;
    if (result == UnzipOk && remainingOutput_ > 0)
        return UnzipMoreData;
    return Finish(result);
}

namespace {

// Hands `file` to a new reader, which then owns it.
UnzipResult ReaderOwning(platform::FileDescriptor file, std::uint64_t offset, RawMemberReader** reader)
{
    *reader = new (std::nothrow) RawMemberReader(std::move(file), offset);
    return *reader == nullptr ? UnzipNoMemory : UnzipOk;
}

} // namespace

UnzipResult OpenRawMemberAt(const std::string& path, std::uint64_t offset, RawMemberReader** reader)
{
    if (reader == nullptr)
        return UnzipBadArguments;
    *reader = nullptr;
    platform::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!file.IsOpen())
        return UnzipOpenFailed;
    return ReaderOwning(std::move(file), offset, reader);
}

UnzipResult OpenRawMemberOnDescriptor(int fd, std::uint64_t offset, RawMemberReader** reader)
{
    if (reader == nullptr)
        return UnzipBadArguments;
    *reader = nullptr;
    if (fd < 0)
        return UnzipBadArguments;
    // The reader closes its own descriptor; the caller's stays open.
    platform::FileDescriptor own(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (!own.IsOpen())
        return UnzipOpenFailed;
    return ReaderOwning(std::move(own), offset, reader);
}

UnzipResult OpenRawMember(const std::string& path, RawMemberReader** reader)
{
    return OpenRawMemberAt(path, 0, reader);
}

UnzipResult InflateRawMember(RawMemberReader* reader, void* buffer, std::uint32_t length, MemberSizes* sizes)
{
    if (reader == nullptr || sizes == nullptr || (buffer == nullptr && length > 0))
        return UnzipBadArguments;
    return reader->Inflate(static_cast<unsigned char*>(buffer), length, *sizes);
}

bool RawMemberStreamEnded(const RawMemberReader* reader)
{
    return reader != nullptr && reader->StreamEnded();
}

std::uint64_t RawMemberTotalProduced(const RawMemberReader* reader)
{
    return reader != nullptr ? reader->TotalProduced() : 0;
}

int RawMemberReadError(const RawMemberReader* reader)
{
    return reader != nullptr ? reader->ReadError() : 0;
}

UnzipResult CloseRawMember(RawMemberReader* reader)
{
    if (reader == nullptr)
        return UnzipBadArguments;
    delete reader;
    return UnzipOk;
}

} // namespace tavrin::zip
