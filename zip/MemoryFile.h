// The bytes of a file that exists only in memory, as FolderZipper archives it beside a
// folder's own files; deflated ahead of time on the compression pool when asked, so
// that the archive later only has to write them.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace tavrin::zip {

class CompressionPool;
struct ChunkJob;

class MemoryFile {
public:
    MemoryFile() = default;
    // Holds a copy of `bytes`. With `pool`, they are deflated there at once, whole, as
    // the archive writer would deflate them; the pool is kept for as long as the file,
    // so the piece is always finished.
    explicit MemoryFile(std::string_view bytes, std::shared_ptr<CompressionPool> pool = nullptr);

    std::string_view Bytes() const;
    std::size_t Size() const { return Bytes().size(); }
    // The piece deflated ahead of time, and the pool deflating it; null when none was
    // asked for.
    std::shared_ptr<ChunkJob> DeflatedEarly() const { return pool_ ? piece_ : nullptr; }
    const std::shared_ptr<CompressionPool>& DeflatingPool() const { return pool_; }

private:
    std::shared_ptr<ChunkJob> piece_; // its input is the bytes
    std::shared_ptr<CompressionPool> pool_;
};

} // namespace tavrin::zip
