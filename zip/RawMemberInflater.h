// Raw member inflater: decodes one ZIP member's bare raw DEFLATE stream (RFC 1951,
// no zlib header, no trailer, no checksum) into the caller's buffer.
//
// The stream starts at the first byte of a file, or at a given offset of a file (the
// member's data offset in a package), and is at most `compressedSize` bytes long.
// Open, one or more decode calls, close; one thread per reader.
//
// A first call whose buffer takes the whole member, on a stream of at most 4 MiB that
// decodes to exactly the member's size, is served by libdeflate in one go; any other
// call, and any stream that is damaged, cut or of another length, goes through zlib's
// streaming inflater step by step, whose account of how far it got the salvage of
// damaged members relies on.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin::zip {

enum UnzipResult : int {
    UnzipOk = 0,
    UnzipOpenFailed = 1,
    UnzipNoMemory = 2,
    UnzipMoreData = 5,
    UnzipReadFailed = 7,
    UnzipBadArguments = 9,
    UnzipFlateError = 18,
};

struct MemberSizes {
    // In: bytes of raw stream available. Out: bytes the last decode call produced.
    std::uint32_t compressedSize = 0;
    // In: the member's expected decoded size.
    std::uint32_t uncompressedSize = 0;
};

class RawMemberReader;

// Opens a file whose first byte starts the raw stream. On failure *reader is null.
UnzipResult OpenRawMember(const std::string& path, RawMemberReader** reader);

// Opens a file whose raw stream starts at byte `offset` (a member inside a package).
UnzipResult OpenRawMemberAt(const std::string& path, std::uint64_t offset, RawMemberReader** reader);

// Reads the raw stream at `offset` of a file the caller has open, through a duplicate of
// `fd`: the caller may close its own descriptor at any time. The duplicate shares the
// file position, which the reader moves; positioned reads (pread) elsewhere are unaffected.
UnzipResult OpenRawMemberOnDescriptor(int fd, std::uint64_t offset, RawMemberReader** reader);

// Decodes into buffer[0, length). UnzipMoreData: call again with more room.
UnzipResult InflateRawMember(RawMemberReader* reader, void* buffer, std::uint32_t length, MemberSizes* sizes);

// True once the decoder has seen the end of the DEFLATE stream (the final block),
// so a caller can tell "buffer full" from "the stream ended short" after UnzipMoreData.
bool RawMemberStreamEnded(const RawMemberReader* reader);

// Bytes placed into the caller's buffers by every decode call so far, including the
// bytes of a call that then failed (whose MemberSizes report 0): how far decoding got
// before a damaged stream stopped it.
std::uint64_t RawMemberTotalProduced(const RawMemberReader* reader);

// After UnzipReadFailed: the errno of the read that failed, or 0 when the file simply
// ended before the stream did.
int RawMemberReadError(const RawMemberReader* reader);

UnzipResult CloseRawMember(RawMemberReader* reader);

} // namespace tavrin::zip
