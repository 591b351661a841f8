#include "zip/ChunkDeflater.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>
#include <zlib.h>

using tavrin::zip::ChunkDeflater;

namespace {

// Inflates a whole raw DEFLATE stream; "" when it is not one stream that ends exactly
// at its last byte.
std::string InflateWhole(const std::vector<unsigned char>& stream, std::size_t expectedSize)
{
    z_stream inflater{};
    if (inflateInit2(&inflater, -MAX_WBITS) != Z_OK)
        return {};
    std::string out(expectedSize + 1, '\0');
    inflater.next_in = const_cast<unsigned char*>(stream.data());
    inflater.avail_in = static_cast<uInt>(stream.size());
    inflater.next_out = reinterpret_cast<unsigned char*>(out.data());
    inflater.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&inflater, Z_FINISH);
    const bool whole = status == Z_STREAM_END && inflater.avail_in == 0;
    out.resize(inflater.total_out);
    inflateEnd(&inflater);
    return whole ? out : std::string("(not one whole stream)");
}

std::string Sample(const std::string& kind, std::size_t size, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::string data;
    while (data.size() < size) {
        if (kind == "random" || (kind == "mixed" && (data.size() / 5000) % 2 == 0))
            data += static_cast<char>(random());
        else if (kind == "zeros")
            data += '\0';
        else
            data += "row " + std::to_string(random() % 500) + " of the table;\n";
    }
    data.resize(size);
    return data;
}

} // namespace

TEST(ChunkDeflaterTest, PiecesDeflatedApartInflateAsOneStream)
{
    ChunkDeflater deflater;
    // Many piece sizes, so the last block of a piece ends at every bit of a byte.
    for (const std::string kind : {"text", "random", "zeros", "mixed"}) {
        for (std::uint32_t seed = 1; seed <= 24; ++seed) {
            SCOPED_TRACE(kind + " " + std::to_string(seed));
            const std::size_t pieceSize = seed * 997 % 70000 + 1;
            const std::string data = Sample(kind, pieceSize * 3 + seed * 13, seed);
            std::vector<unsigned char> stream;
            for (std::size_t at = 0; at < data.size(); at += pieceSize) {
                const std::size_t size = std::min(pieceSize, data.size() - at);
                std::vector<unsigned char> piece;
                ASSERT_TRUE(deflater.Deflate(reinterpret_cast<const unsigned char*>(data.data()) + at, size,
                                             at + size == data.size(), piece));
                stream.insert(stream.end(), piece.begin(), piece.end());
            }
            EXPECT_EQ(InflateWhole(stream, data.size()), data);
        }
    }
}

TEST(ChunkDeflaterTest, EmptyAndOneBytePieces)
{
    ChunkDeflater deflater;
    std::vector<unsigned char> stream;
    std::vector<unsigned char> piece;
    const unsigned char byte = 'x';
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(deflater.Deflate(&byte, 1, false, piece));
        stream.insert(stream.end(), piece.begin(), piece.end());
    }
    ASSERT_TRUE(deflater.Deflate(nullptr, 0, true, piece)); // the end found after a full piece
    stream.insert(stream.end(), piece.begin(), piece.end());
    EXPECT_EQ(InflateWhole(stream, 5), "xxxxx");
}
