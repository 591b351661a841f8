#include "zip/MemoryFile.h"

#include <utility>

#include "zip/CompressionPool.h"

namespace tavrin::zip {

MemoryFile::MemoryFile(std::string_view bytes, std::shared_ptr<CompressionPool> pool)
    : piece_(std::make_shared<ChunkJob>()), pool_(std::move(pool))
{
    piece_->input.assign(bytes.begin(), bytes.end());
    piece_->last = true;
    piece_->whole = true;
    if (pool_ && !bytes.empty())
        pool_->Submit(piece_);
    else
        pool_.reset();
}

std::string_view MemoryFile::Bytes() const
{
    if (!piece_)
        return {};
    return {reinterpret_cast<const char*>(piece_->input.data()), piece_->input.size()};
}

} // namespace tavrin::zip
