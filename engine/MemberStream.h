// One deflated member of a package read as a stream of its decoded bytes, over the raw
// member inflater. The reader is closed when the stream goes out of scope, and every
// read says plainly why it stopped.
#pragma once

#include <cstdint>
#include <string>

#include "zip/RawMemberInflater.h"

namespace tavrin {

enum class MemberRead {
    NeedsMoreRoom,   // the buffer is full and the stream goes on: read again
    Complete,        // the member's declared size is decoded
    StreamEnded,     // the stream ended before the declared size
    InputEndedEarly, // the package ended inside the member's data
    DataError,       // the data is not a valid DEFLATE stream from some point on
    ReadError,       // reading the package failed; see SystemError()
    NoMemory,
};

struct MemberReadResult {
    MemberRead status = MemberRead::Complete;
    std::uint32_t bytes = 0; // placed at the start of the buffer by this read
};

class MemberStream {
public:
    // Opens the stream at `dataOffset` of the package, through `packageFd` when it is
    // open (the caller keeps its own descriptor) and else by the package's path.
    MemberStream(const std::string& packagePath, int packageFd, std::uint64_t dataOffset, std::uint32_t compressedSize,
                 std::uint32_t uncompressedSize);
    ~MemberStream();
    MemberStream(const MemberStream&) = delete;
    MemberStream& operator=(const MemberStream&) = delete;

    bool IsOpen() const { return reader_ != nullptr; }

    // Decodes into buffer[0, length). After anything but NeedsMoreRoom the stream is
    // done; a NeedsMoreRoom that decoded nothing will not decode more either.
    MemberReadResult Read(unsigned char* buffer, std::uint32_t length);

    // Bytes decoded so far, including those of a read that then failed (which reports
    // none): how far decoding got before damage stopped it.
    std::uint64_t TotalDecoded() const;
    // After ReadError: the errno of the read that failed.
    int SystemError() const { return systemError_; }

private:
    zip::RawMemberReader* reader_ = nullptr;
    std::uint32_t compressedSize_;
    std::uint32_t uncompressedSize_;
    std::uint64_t totalDecoded_ = 0;
    int systemError_ = 0;
};

} // namespace tavrin
