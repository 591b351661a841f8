// Reads a text file one line at a time through a fixed buffer, so a file of any size
// costs one line of memory (at most kLongestLine bytes).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tavrin {

class LineFileReader {
public:
    static constexpr std::size_t kLongestLine = 32u << 20;

    enum class Result {
        Line,     // a whole line, its '\n' (and a '\r' before it) taken off
        LastPart, // the end of a file that does not end with '\n': the bytes after the last one
        End,
        TooLong,  // a line longer than kLongestLine
        Failed,   // a read error (errno)
    };

    explicit LineFileReader(int fd) : fd_(fd), buffer_(1u << 16) {}

    Result Next(std::string& line);

    // Whether the lines read so far ended in "\r\n".
    bool SawCrLf() const { return sawCrLf_; }

private:
    int fd_;
    std::vector<char> buffer_;
    std::size_t at_ = 0;
    std::size_t filled_ = 0;
    bool ended_ = false;
    bool sawCrLf_ = false;
};

} // namespace tavrin
