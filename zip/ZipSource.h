// What AddToZipArchive reads a member from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tavrin::zip {

class CompressionPool;
struct ChunkJob;

enum ZipSourceKind : std::uint32_t {
    ZipSourceHandle = 1,   // an open file descriptor (a pipe, a socket or a disk file)
    ZipSourceFileName = 2, // a path, opened and closed by the writer
    ZipSourceMemory = 3,   // a block of bytes
    ZipSourceFolder = 4,   // a folder entry without data
};

struct ZipSource {
    ZipSourceKind kind = ZipSourceFileName;
    std::string path;
    int fd = -1;
    const void* data = nullptr;
    // Handle: the expected size, 0 when unknown. Memory: the block's size.
    std::uint32_t length = 0;
    // Memory: the block deflated whole on a compression pool ahead of time, whose
    // output the writer takes instead of deflating the block again, and that pool.
    std::shared_ptr<ChunkJob> deflatedEarly;
    std::shared_ptr<CompressionPool> deflatedBy;

    static ZipSource FileName(std::string path);
    // The caller keeps the descriptor open and closes it. A disk file is read from
    // its first byte; anything else from where it stands, to its end.
    static ZipSource Handle(int fd, std::uint32_t expectedSize = 0);
    static ZipSource Memory(const void* data, std::uint32_t length);
    // The input of `piece` (submitted whole and last to `pool`), written with the
    // piece's output.
    static ZipSource DeflatedEarly(std::shared_ptr<ChunkJob> piece, std::shared_ptr<CompressionPool> pool);
    static ZipSource Folder();
};

// How one member is written, where a format needs more than the defaults.
struct ZipAddOptions {
    // Stored whatever the name, without the time-stamp extra field in either header,
    // and (on an output that can seek) without a data descriptor: the way an ODF
    // package's `mimetype` member must be written, so that it can be recognised at a
    // fixed offset from the start of the file.
    bool storedWithoutExtraField = false;
};

} // namespace tavrin::zip
