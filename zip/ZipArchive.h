// Archive writer: writes a new ZIP archive (no encryption) one member at a time. Each
// member gets a local header, its data (deflated at level 8; stored when the name's
// extension says it is compressed already, or when deflating would not make it
// smaller) and, where the output can seek and the member was not compressed whole
// before its header, a second pass over the local header with the final CRC and sizes;
// on an output that cannot seek (a pipe) a data descriptor follows the data instead.
// Closing writes the central directory and the end record. Members are compressed on
// all cores (see ZipWriter.h).
//
// ZIP64 records are written when, and only when, a value does not fit its classic
// field: 65,535 members or more, a size or an offset of 4 GiB or more. A member whose
// size is not known before it is read (a pipe) and then passes 4 GiB cannot get them
// and fails with ZipTooLarge.
//
// Member names are bytes and are written as given (ISO-8859-1 when read as text); a
// name that is UTF-8 beyond ASCII carries the UTF-8 flag (general purpose bit 11).
#pragma once

#include <cstdint>
#include <string>

#include "zip/ZipResult.h"
#include "zip/ZipSource.h"

namespace tavrin::zip {

class ZipWriter;

// The handle kind of archives opened for writing.
inline constexpr std::uint32_t kZipWriterHandleKind = 2;

struct ZipHandle {
    std::uint32_t kind = kZipWriterHandleKind;
    ZipWriter* writer = nullptr;
};

// Creates (or truncates) the file at `path`. Null when the archive cannot be started;
// `failure` (when given) then holds the code and errno is left as the platform set it.
ZipHandle* CreateZipArchive(const std::string& path, ZipResult* failure = nullptr);

// Writes to a duplicate of `fd`; the caller still owns `fd`. A disk file is written
// from its current position (its end when open for appending), which every stored
// offset counts in. A pipe, or a file open for appending, is an output that cannot
// seek: members get data descriptors.
ZipHandle* CreateZipArchive(int fd, ZipResult* failure = nullptr);

// Adds one member. Backslashes in `name` become '/'; a folder entry gains a trailing
// '/'. Names may be up to 65,535 bytes. A name already in the archive is refused
// (ZipBadArguments). A failed add leaves the archive usable, and on an output that can
// seek none of its bytes stay between the members.
ZipResult AddToZipArchive(ZipHandle* handle, const std::string& name, const ZipSource& source);
ZipResult AddToZipArchive(ZipHandle* handle, const std::string& name, const ZipSource& source,
                          const ZipAddOptions& options);

// The common case: a member read from the file at `sourcePath`.
ZipResult AddToZipArchive(ZipHandle* handle, const std::string& name, const std::string& sourcePath);

// Writes the central directory and end record, closes the output and frees the
// handle, whatever the result (except for a null handle or one of another kind).
ZipResult CloseZipArchive(ZipHandle* handle);

// Lets adds return before their member is written, so reading the next member overlaps
// compressing this one. An output failure then ends the archive: the add or close that
// meets it returns it, and so does every later add and the close.
void SetZipArchiveWriteBehind(ZipHandle* handle, bool writeBehind);

// errno of the last failed operation on this archive, 0 when none gave one.
int ZipLastSystemError(const ZipHandle* handle);

} // namespace tavrin::zip
