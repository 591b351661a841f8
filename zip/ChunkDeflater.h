// Deflates one piece of a member at a time, so that a large member can be compressed
// on several cores and still be one raw DEFLATE stream: every piece but the last ends
// on a byte boundary with no final block, so the pieces simply follow one another.
//
// libdeflate compresses a whole buffer at level 8 about twice as fast as zlib and a
// little smaller; it cannot take the previous piece as a dictionary, so each piece
// starts without history (at 256 KiB pieces that costs under a percent). It always
// ends its output with a final block: for a piece that is not the last, that block's
// BFINAL bit is cleared and an empty stored block (00 00 FF FF, what zlib's sync flush
// writes) brings the stream back to a byte boundary. Finding the final block means
// walking the piece's blocks, which zlib's inflate does with Z_BLOCK.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>
#include <zlib.h>

struct libdeflate_compressor;

namespace tavrin::zip {

class ChunkDeflater {
public:
    ChunkDeflater();
    ~ChunkDeflater();
    ChunkDeflater(const ChunkDeflater&) = delete;
    ChunkDeflater& operator=(const ChunkDeflater&) = delete;

    // Replaces `out` by the deflated piece; false when memory ran out or the piece's
    // own output did not walk as valid DEFLATE (which would be a compressor fault).
    bool Deflate(const unsigned char* data, std::size_t size, bool last, std::vector<unsigned char>& out);

private:
    // Clears the BFINAL bit of the piece's last block and appends an empty stored block.
    bool EndWithoutFinalBlock(std::vector<unsigned char>& piece, std::size_t rawSize);

    libdeflate_compressor* compressor_ = nullptr;
    z_stream walker_{};
    bool walkerReady_ = false;
    std::vector<unsigned char> scratch_;
};

} // namespace tavrin::zip
