// The state of one archive being written and the steps that write it; reached through
// the ZipHandle entry points of ZipArchive.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "zip/ZipMemberInfo.h"
#include "zip/ZipResult.h"
#include "zip/ZipSource.h"

namespace tavrin::zip {

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

    int LastSystemError() const { return lastError_; }

    // Names whose extension marks data that is compressed already are stored: the
    // text from the name's last '.' to its end, compared without case, is one of
    // .Z .zip .zoo .arc .lzh .arj .gz .tgz.
    static bool IsStoredByName(std::string_view name);

private:
    struct OpenSource;

    ZipResult OpenSourceFor(const ZipSource& source, OpenSource& open);
    ZipResult ReadDiskFile(OpenSource& open, std::string_view fileName);
    static void UseTimesOfNow(OpenSource& open);
    ZipResult ReadSource(OpenSource& open, unsigned char* buffer, std::size_t size, std::size_t& got);
    ZipResult CopyStored(OpenSource& open, ZipMemberInfo& member);
    ZipResult Deflate(OpenSource& open, ZipMemberInfo& member);
    // Replaces deflated data exactly as long as the source by the source's own bytes.
    ZipResult StoreInPlace(OpenSource& open, ZipMemberInfo& member);
    ZipResult WriteData(const void* data, std::size_t size, ZipMemberInfo& member);
    ZipResult WriteLocalHeader(const ZipMemberInfo& member);
    ZipResult CompleteLocalHeader(const ZipMemberInfo& member);
    // Writes whole or fails; counts every byte that reached the output, so the offsets
    // of later members stay right even after a write that came up short.
    bool Write(const void* data, std::size_t size);
    bool SeekTo(std::uint64_t absoluteOffset);
    ZipResult Fail(ZipResult result);
    // After a failed add on an output that can seek: the next member starts where the
    // failed one began, so no unlisted bytes are left between members.
    ZipResult TakeBack(std::uint64_t localHeaderOffset, ZipResult result);

    int fd_;
    bool canSeek_;
    std::uint64_t baseOffset_;
    std::uint64_t bytesWritten_ = 0;
    std::vector<ZipMemberInfo> members_;
    std::vector<unsigned char> input_;
    std::vector<unsigned char> output_;
    int lastError_ = 0;
    // Some bytes were taken back: the output is cut to its end when closed.
    bool tookBack_ = false;
    // Names already in the archive; a second member of one name is refused.
    std::unordered_set<std::string> names_;
};

} // namespace tavrin::zip
