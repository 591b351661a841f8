#include "zip/ChunkDeflater.h"

#include <libdeflate.h>
#include <new>

namespace tavrin::zip {

namespace {

constexpr int kLevel = 8;
// zlib's data_type after inflate(Z_BLOCK): bits left in the last byte taken, and flags.
constexpr int kUnusedBitsMask = 63;
constexpr int kLastBlockFlag = 64;
constexpr int kBlockBoundaryFlag = 128;

} // namespace

ChunkDeflater::ChunkDeflater()
{
    compressor_ = libdeflate_alloc_compressor(kLevel);
    walkerReady_ = inflateInit2(&walker_, -MAX_WBITS) == Z_OK;
}

ChunkDeflater::~ChunkDeflater()
{
    if (compressor_ != nullptr)
        libdeflate_free_compressor(compressor_);
    if (walkerReady_)
        inflateEnd(&walker_);
}

bool ChunkDeflater::Deflate(const unsigned char* data, std::size_t size, bool last, std::vector<unsigned char>& out)
{
    if (compressor_ == nullptr || !walkerReady_)
        return false;
    try {
        // Room for the empty stored block a piece that is not the last gains.
        out.resize(libdeflate_deflate_compress_bound(compressor_, size) + 5);
        const std::size_t produced = libdeflate_deflate_compress(compressor_, data, size, out.data(), out.size());
        if (produced == 0)
            return false;
        out.resize(produced);
        return last || EndWithoutFinalBlock(out, size);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ChunkDeflater::EndWithoutFinalBlock(std::vector<unsigned char>& piece, std::size_t rawSize)
{
    if (scratch_.size() < rawSize + 1)
        scratch_.resize(rawSize + 1);
    if (inflateReset(&walker_) != Z_OK)
        return false;
    walker_.next_in = piece.data();
    walker_.avail_in = static_cast<uInt>(piece.size());
    walker_.next_out = scratch_.data();
    walker_.avail_out = static_cast<uInt>(rawSize + 1);
    // Bit positions, counted from the piece's first byte: where the last block's header
    // starts, and where its end-of-block code ends.
    std::uint64_t finalHeaderBit = 0;
    std::uint64_t endBit = 0;
    bool ended = false;
    for (;;) {
        const int status = inflate(&walker_, Z_BLOCK);
        if (status == Z_STREAM_END)
            break;
        if (status != Z_OK)
            return false;
        if ((walker_.data_type & kBlockBoundaryFlag) == 0)
            continue;
        const std::uint64_t bit = static_cast<std::uint64_t>(piece.size() - walker_.avail_in) * 8
            - static_cast<std::uint64_t>(walker_.data_type & kUnusedBitsMask);
        // At a boundary the flag tells whether the block just ended was the last one.
        if ((walker_.data_type & kLastBlockFlag) != 0) {
            endBit = bit;
            ended = true;
        } else {
            finalHeaderBit = bit;
        }
    }
    if (!ended || walker_.total_out != rawSize)
        return false;
    piece[finalHeaderBit / 8] &= static_cast<unsigned char>(~(1u << (finalHeaderBit % 8)));
    // The stored block's three header bits (not final, type 00) are zero: they take the
    // padding after the end-of-block code, or a byte of their own when fewer than three
    // padding bits are left; then the block is aligned and gives its lengths.
    const auto used = static_cast<std::size_t>((endBit + 7) / 8);
    const auto paddingBits = static_cast<unsigned>(used * 8 - endBit);
    piece.resize(used);
    if (paddingBits > 0)
        piece.back() &= static_cast<unsigned char>((1u << (8 - paddingBits)) - 1);
    if (paddingBits < 3)
        piece.push_back(0);
    piece.insert(piece.end(), {0x00, 0x00, 0xFF, 0xFF});
    return true;
}

} // namespace tavrin::zip
