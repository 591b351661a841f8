#include "engine/DeflateStartCheck.h"

#include <algorithm>

namespace tavrin {

DeflateStartCheck::DeflateStartCheck()
{
    ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK;
}

DeflateStartCheck::~DeflateStartCheck()
{
    if (ready_)
        inflateEnd(&stream_);
}

bool DeflateStartCheck::BreaksBeforeFirstByte(const unsigned char* data, std::size_t size)
{
    // One decoder reset per stream: a file of fake headers asks this for every one of them.
    if (!ready_ || size == 0 || inflateReset(&stream_) != Z_OK)
        return false;
    unsigned char first = 0;
    stream_.next_in = const_cast<unsigned char*>(data);
    stream_.avail_in = static_cast<uInt>(std::min(size, kLookAhead));
    stream_.next_out = &first;
    stream_.avail_out = 1;
    const int status = inflate(&stream_, Z_NO_FLUSH);
    return stream_.avail_out == 1 && status == Z_DATA_ERROR;
}

} // namespace tavrin
