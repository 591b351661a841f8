// Reads a text file one line at a time through a fixed buffer, so a file of any size
// costs one line of memory (at most kLongestLine bytes).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/FileDescriptor.h"

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

    // Opens `path` for reading without following a link; IsOpen says whether it did
    // (errno says why not). The file is closed with the reader.
    explicit LineFileReader(const std::string& path);

    bool IsOpen() const { return file_.IsOpen(); }

    Result Next(std::string& line);

    // Whether the lines read so far ended in "\r\n".
    bool SawCrLf() const { return sawCrLf_; }

private:
    platform::FileDescriptor file_;
    std::vector<char> buffer_;
    std::size_t at_ = 0;
    std::size_t filled_ = 0;
    bool ended_ = false;
    bool sawCrLf_ = false;
};

} // namespace tavrin
