// Finds the members of a damaged package by walking its raw bytes for ZIP local file
// headers, never reading the central directory.
//
// The rule: a four-byte window moves one byte at a time from offset 0; where it reads
// "PK\3\4" a local header is read and the search goes on three bytes before the end of
// that member's data. A deflated member with both sizes 0 takes its sizes from the
// next "PK\7\8" data descriptor, unless the next local header comes first. A member is
// listed when it has a name and at least one non-zero size.
//
// The file is read in large blocks and searched with memchr, never a system call per
// byte, yet the result is exactly that of the byte-by-byte rule.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/PackageEntry.h"
#include "engine/ScannedPackage.h"
#include "engine/ThreadContext.h"
#include "engine/UnsizedMemberRecovery.h"

namespace tavrin {

class PackageScanner {
public:
    static constexpr std::size_t kDefaultBlockSize = std::size_t{1} << 20;

    // `running` may be null; when given, the search ends as soon as it reads 0.
    explicit PackageScanner(const std::atomic<int>* running = nullptr,
                            std::size_t blockSize = kDefaultBlockSize);

    // Scans an open file descriptor of `length` bytes and appends the members found.
    // Without `sizer` the result is exactly the rule's. With it, two kinds of deflated
    // member are sized by inflating their data, in file order, and the search goes on
    // behind the end of their stream: a named member the rule leaves out because both
    // sizes are 0 and no descriptor was found (listed when its stream ends, else kept
    // by the sizer as lost), and one whose declared compressed size ends where no
    // member can end (listed with the size its stream really has). With it, too, a
    // claimed extent that still ends where no member can end (past the end of the file,
    // or inside later data), or that ends right but holds a local header and does not give
    // the CRC-32 it recorded, is not jumped over: the member is listed as declared and the
    // search goes on inside its data. A local header that reads like a writer's but is
    // cut off by the end of the file is kept by the sizer as a lost member. ZIP64 marker sizes of a deflated member count as
    // lost, and a data descriptor is taken only when its compressed size is its
    // distance from the member's data.
    void Scan(int fd, std::uint64_t length, ScanList& entries, UnsizedMemberRecovery* sizer = nullptr);

    // For a repair: of the members whose deflate stream breaks before its first byte
    // (the extraction could write nothing of them), list only the first `count` and
    // count the rest, so a file of fake headers with sizes cannot fill memory with
    // entries. Every member the extraction would report among its first `count` failures
    // is still listed, in its place. Off by default: a listing shows every member.
    void KeepBrokenMembers(std::size_t count);
    // After a scan: broken members met beyond that number, not listed.
    std::uint64_t BrokenNotKept() const { return brokenNotKept_; }

    // After a scan: the errno of the first read of the package that failed (0: none),
    // and the offset it was reading. The search ends there as at the end of the file.
    int ReadError() const { return readError_; }
    std::uint64_t ReadErrorOffset() const { return readErrorOffset_; }

private:
    const std::atomic<int>* running_;
    std::size_t blockSize_;
    int readError_ = 0;
    std::uint64_t readErrorOffset_ = 0;
    bool limitBroken_ = false;
    std::size_t brokenKept_ = 0;
    std::uint64_t brokenNotKept_ = 0;
};

} // namespace tavrin
