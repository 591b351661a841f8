// Tells, from the first bytes of a raw DEFLATE stream, that it breaks before it gives a
// single byte: what the extraction would then make of the member is known without
// setting up a reader, a buffer and a target file for it.
#pragma once

#include <cstddef>

#include <zlib.h>

namespace tavrin {

class DeflateStartCheck {
public:
    // Bytes of a stream's start worth looking at: garbage breaks within a few bytes, and a
    // real block header gives its first byte well inside this.
    static constexpr std::size_t kLookAhead = 512;

    DeflateStartCheck();
    ~DeflateStartCheck();
    DeflateStartCheck(const DeflateStartCheck&) = delete;
    DeflateStartCheck& operator=(const DeflateStartCheck&) = delete;

    // True only when inflating `data` (the first bytes of the stream, as many as the
    // member has of them up to kLookAhead) meets damage before any output. A stream that
    // gives a byte, ends, or needs more than `data` to tell is not called broken.
    bool BreaksBeforeFirstByte(const unsigned char* data, std::size_t size);

private:
    z_stream stream_{};
    bool ready_ = false;
};

} // namespace tavrin
