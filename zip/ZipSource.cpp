#include "zip/ZipSource.h"

#include <utility>

#include "zip/CompressionPool.h"

namespace tavrin::zip {

ZipSource ZipSource::FileName(std::string path)
{
    ZipSource source;
    source.kind = ZipSourceFileName;
    source.path = std::move(path);
    return source;
}

ZipSource ZipSource::Handle(int fd, std::uint32_t expectedSize)
{
    ZipSource source;
    source.kind = ZipSourceHandle;
    source.fd = fd;
    source.length = expectedSize;
    return source;
}

ZipSource ZipSource::Memory(const void* data, std::uint32_t length)
{
    ZipSource source;
    source.kind = ZipSourceMemory;
    source.data = data;
    source.length = length;
    return source;
}

ZipSource ZipSource::DeflatedEarly(std::shared_ptr<ChunkJob> piece, std::shared_ptr<CompressionPool> pool)
{
    ZipSource source = Memory(piece->input.data(), static_cast<std::uint32_t>(piece->input.size()));
    source.deflatedEarly = std::move(piece);
    source.deflatedBy = std::move(pool);
    return source;
}

ZipSource ZipSource::Folder()
{
    ZipSource source;
    source.kind = ZipSourceFolder;
    return source;
}

} // namespace tavrin::zip
