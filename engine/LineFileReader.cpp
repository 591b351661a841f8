#include "engine/LineFileReader.h"

#include <fcntl.h>

#include <cstring>

#include "platform/FileIo.h"

namespace tavrin {

LineFileReader::LineFileReader(const std::string& path)
    : file_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)), buffer_(1u << 16)
{
}

LineFileReader::Result LineFileReader::Next(std::string& line)
{
    line.clear();
    for (;;) {
        if (at_ < filled_) {
            const char* start = buffer_.data() + at_;
            const void* newline = std::memchr(start, '\n', filled_ - at_);
            const std::size_t count = newline ? static_cast<const char*>(newline) - start : filled_ - at_;
            if (line.size() + count > kLongestLine)
                return Result::TooLong;
            line.append(start, count);
            at_ += count;
            if (newline) {
                ++at_;
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                    sawCrLf_ = true;
                }
                return Result::Line;
            }
        }
        if (ended_)
            return line.empty() ? Result::End : Result::LastPart;
        const ssize_t got = platform::ReadSome(file_.Get(), buffer_.data(), buffer_.size());
        if (got < 0)
            return Result::Failed;
        at_ = 0;
        filled_ = static_cast<std::size_t>(got);
        ended_ = got == 0;
    }
}

} // namespace tavrin
