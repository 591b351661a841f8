// The state of one archive being written and the steps that write it; reached through
// the ZipHandle entry points of ZipArchive.h.
//
// An added member is read in pieces of 256 KiB in the calling thread; the pieces are
// deflated by a pool of worker threads (one per core, shared by every archive written
// at the same time) and written in their order, again by the calling thread, with only
// a few pieces in memory at a time (fewer for each archive when several share the pool). By default an add returns
// once its member is written; with write-behind it returns once the member is read, so
// the next member is read while this one is still being compressed.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/FileDescriptor.h"
#include "zip/Zip64Limits.h"
#include "zip/ZipMemberInfo.h"
#include "zip/ZipResult.h"
#include "zip/ZipSource.h"

namespace tavrin::zip {

class CompressionPool;
struct ChunkJob;

class ZipWriter {
public:
    // Takes ownership of `fd`.
    ZipWriter(int fd, bool canSeek, std::uint64_t baseOffset);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    ZipResult Add(const std::string& name, const ZipSource& source, const ZipAddOptions& options = {});
    // Central directory, end record, and the output closed.
    ZipResult Close();

    // Adds return before their member is written. A failure of the output then ends the
    // archive: the add or close that meets it reports it, and so does every later add
    // and the close, since members already reported added are lost with it.
    void SetWriteBehind(bool writeBehind) { writeBehind_ = writeBehind; }

    int LastSystemError() const { return lastError_; }

    // Names whose extension marks data that is compressed already are stored: the
    // text from the name's last '.' to its end, compared without case, is one of
    // .Z .zip .zoo .arc .lzh .arj .gz .tgz.
    static bool IsStoredByName(std::string_view name);

private:
    struct OpenSource;
    struct PendingMember;

    ZipResult OpenSourceFor(const ZipSource& source, OpenSource& open);
    ZipResult ReadDiskFile(OpenSource& open, std::string_view fileName);
    void UseTimesOfNow(OpenSource& open);
    ZipResult ReadSource(OpenSource& open, unsigned char* buffer, std::size_t size, std::size_t& got);
    // Fills `piece` up to `capacity` bytes; `ended` once the source gave no more.
    ZipResult ReadPiece(OpenSource& open, std::vector<unsigned char>& piece, std::size_t capacity, bool& ended);
    // Reads the newest pending member to its end, handing each piece to the pool.
    ZipResult ReadAndSubmit(PendingMember& member);
    ZipResult Submit(PendingMember& member, std::vector<unsigned char> piece, bool last);
    // Puts a piece (being deflated, or done) in line to be written, writing older ones
    // while too many are in memory.
    ZipResult Enqueue(PendingMember& member, std::shared_ptr<ChunkJob> job);

    // Writes the oldest pending member's next piece, waiting for it when `wait`;
    // `wrote` tells whether one was written.
    ZipResult WriteNextPiece(bool wait, bool& wrote);
    ZipResult WriteAllPending();
    ZipResult StartMember(PendingMember& member, const ChunkJob& firstPiece);
    ZipResult FinishMember(PendingMember& member);
    // Replaces deflated data no shorter than the source by the source's own bytes.
    ZipResult StoreInPlace(PendingMember& member);
    // A failure while writing the oldest pending member: it is taken back and, with
    // write-behind, so is every member after it, and the archive is failed.
    ZipResult OutputFailed(ZipResult result);
    // A failure while reading the newest pending member: the members before it are
    // written, it is taken back.
    ZipResult ReadFailed(ZipResult result);

    ZipResult WriteLocalHeader(const ZipMemberInfo& member);
    ZipResult CompleteLocalHeader(const ZipMemberInfo& member);
    ZipResult WriteCentralDirectory();
    // Writes whole or fails; counts every byte that reached the output, so the offsets
    // of later members stay right even after a write that came up short.
    bool Write(const void* data, std::size_t size);
    bool SeekTo(std::uint64_t absoluteOffset);
    ZipResult Fail(ZipResult result);
    // After a failed add on an output that can seek: the next member starts where the
    // failed one began, so no unlisted bytes are left between members.
    ZipResult TakeBack(std::uint64_t localHeaderOffset, ZipResult result);
    CompressionPool& Pool();

    platform::FileDescriptor fd_;
    bool canSeek_;
    std::uint64_t baseOffset_;
    std::uint64_t bytesWritten_ = 0;
    Zip64Limits limits_;
    std::vector<ZipMemberInfo> members_;
    int lastError_ = 0;
    // The times of the present second, as UseTimesOfNow last worked them out.
    struct TimesOfNow {
        std::int64_t utc = -1;
        std::uint32_t dosDateTime = 0;
        std::uint32_t unixSeconds = 0;
    } timesOfNow_;
    // Some bytes were taken back: the output is cut to its end when closed.
    bool tookBack_ = false;
    // Names already in the archive or on their way; a second member of one name is refused.
    std::unordered_set<std::string> names_;

    bool writeBehind_ = false;
    std::shared_ptr<CompressionPool> pool_; // shared with the archives written at the same time
    // Members read (or being read) and not yet written whole, oldest first.
    std::deque<PendingMember> pending_;
    std::size_t piecesInFlight_ = 0;
    // With write-behind: the output failure that ended the archive, and its errno.
    ZipResult outputFailure_ = ZipOk;
    int outputError_ = 0;
};

} // namespace tavrin::zip
