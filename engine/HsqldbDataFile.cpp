#include "engine/HsqldbDataFile.h"

#include <algorithm>
#include <utility>

namespace tavrin {
namespace {

// Rows start and end on multiples of this.
constexpr std::uint64_t kRowAlignment = 8;
// A row holds at least its length and one index node; nothing shorter is a row.
constexpr std::int64_t kSmallestRow = 8;
// A row cut off by the end of a truncated file is taken as such only up to this
// length; a larger "length" there is more likely damage than a row.
constexpr std::int64_t kLargestCutRow = std::int64_t{1} << 24;

std::int64_t RowLength(const std::vector<unsigned char>& bytes, std::uint64_t at)
{
    if (at + 4 > bytes.size())
        return -1;
    const std::uint32_t value = (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
                                (std::uint32_t{bytes[at + 2]} << 8) | std::uint32_t{bytes[at + 3]};
    return static_cast<std::int32_t>(value);
}

bool PlausibleLength(std::int64_t length)
{
    return length >= kSmallestRow && length % static_cast<std::int64_t>(kRowAlignment) == 0;
}

} // namespace

HsqldbDataMending HsqldbDataFile::Mend(std::vector<unsigned char>& bytes)
{
    HsqldbDataMending mending;
    const std::uint64_t end = bytes.size();
    if (end < kHeaderSize) {
        mending.result = HsqldbDataMending::Result::TooShort;
        mending.finalSize = end;
        return mending;
    }
    // chains[p / 8]: the rows starting at p follow one another exactly to the end of the
    // file. Worked out from the end backwards, so every position is looked at once.
    std::vector<bool> chains(end / kRowAlignment + 1, false);
    auto chainsFrom = [&](std::uint64_t at) { return at == end || (at < end && chains[at / kRowAlignment]); };
    for (std::uint64_t at = (end - 1) / kRowAlignment * kRowAlignment; at >= kHeaderSize; at -= kRowAlignment) {
        const std::int64_t length = RowLength(bytes, at);
        if (PlausibleLength(length) && at + static_cast<std::uint64_t>(length) <= end &&
            chainsFrom(at + static_cast<std::uint64_t>(length)))
            chains[at / kRowAlignment] = true;
    }

    // The stretches to clear and where the file ends are settled first and applied only
    // when the file proves to be rows, so a file that is not is never touched.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> cleared;
    std::uint64_t keepUpTo = end;
    std::uint64_t at = kHeaderSize;
    std::uint64_t previous = at; // start of the row before `at`, the first that may hold damage
    bool hasPrevious = false;
    while (at < end) {
        if (chainsFrom(at))
            break;
        const std::int64_t length = RowLength(bytes, at);
        if (PlausibleLength(length) && at + static_cast<std::uint64_t>(length) <= end) {
            previous = at;
            hasPrevious = true;
            at += static_cast<std::uint64_t>(length);
            continue;
        }
        // The last row, cut off by the end of the file: everything before it is sound.
        if (PlausibleLength(length) && length <= kLargestCutRow && at + static_cast<std::uint64_t>(length) > end) {
            keepUpTo = at;
            break;
        }
        // The damage may have begun inside the row before the break, whose length still
        // read well: that row goes too.
        const std::uint64_t damageStart = hasPrevious ? previous : at;
        std::uint64_t resume = at + kRowAlignment;
        while (resume < end && !chains[resume / kRowAlignment])
            resume += kRowAlignment;
        if (resume >= end) {
            keepUpTo = damageStart;
            break;
        }
        cleared.emplace_back(damageStart, resume);
        mending.zeroedBytes += resume - damageStart;
        at = resume;
        hasPrevious = false;
    }
    mending.cutBytes = end - keepUpTo;

    const std::uint64_t rowBytes = end - kHeaderSize;
    const std::uint64_t kept = rowBytes - mending.zeroedBytes - mending.cutBytes;
    if (rowBytes > 0 && kept * 4 < rowBytes)
        return HsqldbDataMending{HsqldbDataMending::Result::Unknown, 0, 0, end};
    for (const auto& [from, to] : cleared)
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(to),
                  static_cast<unsigned char>(0));
    bytes.resize(keepUpTo);
    if (mending.zeroedBytes > 0 || mending.cutBytes > 0)
        mending.result = HsqldbDataMending::Result::Mended;
    mending.finalSize = bytes.size();
    return mending;
}

} // namespace tavrin
