#include "engine/HsqldbRowCarver.h"

#include <algorithm>
#include <cerrno>
#include <map>

#include "platform/FileIo.h"
#include "platform/SystemError.h"

namespace tavrin {
namespace {

constexpr std::uint64_t kHeaderSize = 32;
// Offsets in the file are int32.
constexpr std::uint64_t kLargestOffset = 0x7ffffff8;
// A record holds its length, one node and at least one presence byte.
constexpr std::uint32_t kSmallestRecord = 24;
constexpr std::size_t kNodeSize = 16;
constexpr unsigned kMostIndexes = 12;
// The sample a layout is worked out from.
constexpr std::size_t kSampleRows = 96;
constexpr std::size_t kSampleBytes = 8u << 20;
// Work allowed to the column search of one layout, in row steps.
constexpr std::uint64_t kSearchBudget = 4000000;
// A parent chain longer than this is a loop of damaged links.
constexpr int kDeepestChain = 256;

std::uint32_t U32(const unsigned char* bytes)
{
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
           std::uint32_t{bytes[3]};
}

// Reads the file front to back through one buffer.
class SequentialWindow {
public:
    SequentialWindow(int fd, std::uint64_t size) : fd_(fd), size_(size), buffer_(1u << 20) {}

    // The `count` bytes at `at`, or nullptr past the end or on a read error.
    const unsigned char* At(std::uint64_t at, std::size_t count)
    {
        if (at + count > size_)
            return nullptr;
        if (at < start_ || at + count > start_ + filled_) {
            start_ = at;
            filled_ = 0;
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), size_ - at));
            while (filled_ < want) {
                const ssize_t got = platform::FileIo::Current().ReadAt(
                    fd_, buffer_.data() + filled_, want - filled_, static_cast<off_t>(at + filled_));
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0) {
                    failed_ = got < 0 ? errno : EIO;
                    return nullptr;
                }
                filled_ += static_cast<std::size_t>(got);
            }
            if (count > filled_)
                return nullptr;
        }
        return buffer_.data() + (at - start_);
    }

    int Failed() const { return failed_; }

private:
    int fd_;
    std::uint64_t size_;
    std::vector<unsigned char> buffer_;
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
    int failed_ = 0;
};

struct Record {
    std::uint32_t offset;
    std::uint32_t length;
    std::uint32_t left;
    std::uint32_t right;
    std::uint32_t parent;
};

bool PlausibleLink(std::uint32_t link, std::uint64_t end)
{
    return link == 0 || (link >= kHeaderSize && link % 8 == 0 && link < end);
}

bool PlausibleBalance(std::uint32_t balance)
{
    return balance == 0 || balance == 1 || balance == 0xffffffffu;
}

struct Sample {
    std::vector<std::vector<unsigned char>> rows;
};

class LayoutSearch {
public:
    LayoutSearch(const Sample& sample, std::uint64_t end) : sample_(sample), end_(end) {}

    bool Find(HsqldbRowLayout& layout)
    {
        std::size_t shortest = SIZE_MAX;
        for (const auto& row : sample_.rows)
            shortest = std::min(shortest, row.size());
        if (shortest == SIZE_MAX || shortest < kSmallestRecord)
            return false;
        const unsigned most = static_cast<unsigned>(std::min<std::size_t>(kMostIndexes, (shortest - 5) / kNodeSize));
        for (unsigned count = most; count >= 1; --count) {
            if (!NodesPlausible(count))
                continue;
            layout.indexCount = count;
            layout.columns.clear();
            std::vector<std::size_t> at(sample_.rows.size(), layout.ColumnsStart());
            budget_ = kSearchBudget;
            best_.clear();
            found_ = false;
            std::vector<HsqldbColumnKind> columns;
            Columns(at, columns, 0);
            if (found_) {
                layout.columns = best_;
                return true;
            }
        }
        return false;
    }

private:
    bool NodesPlausible(unsigned count) const
    {
        for (const auto& row : sample_.rows) {
            for (unsigned node = 1; node < count; ++node) {
                const unsigned char* bytes = row.data() + 4 + node * kNodeSize;
                // Links of a damaged file may point at rows that were lost, so a link
                // only has to be a place a row can start.
                if (!PlausibleBalance(U32(bytes)) || !PlausibleLink(U32(bytes + 4), end_) ||
                    !PlausibleLink(U32(bytes + 8), end_) || !PlausibleLink(U32(bytes + 12), end_))
                    return false;
            }
        }
        return true;
    }

    // The cost of a column in a reading: readings are compared by the bits their values
    // need plus a price per column, so a wrong kind that splits values into more,
    // shorter ones (a date read as a boolean and NULLs) loses, and so does one that
    // joins several into a larger number (a SMALLINT and a BOOLEAN read as an INTEGER).
    static constexpr double kColumnPrice = 4;
    static constexpr double kUnknownPrice = 20;

    static double ValueBits(HsqldbColumnKind kind, const unsigned char* row, const HsqldbRawValue& value)
    {
        switch (kind) {
        case HsqldbColumnKind::Int16:
        case HsqldbColumnKind::Int32:
        case HsqldbColumnKind::Int64: {
            const std::int64_t v = HsqldbRowReader::Int(row + value.at, value.size);
            const std::uint64_t magnitude = v < 0 ? ~static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
            return magnitude == 0 ? 0 : 64 - __builtin_clzll(magnitude) + (v < 0);
        }
        case HsqldbColumnKind::Boolean: return 1;
        // Text is the likeliest reading of counted bytes; a DECIMAL costs the bits of its
        // digits, so a text never reads as one.
        case HsqldbColumnKind::Counted: return HsqldbRowReader::IsText(row + value.at + 4, value.size - 4) ? 8 : 16;
        case HsqldbColumnKind::Decimal: return 8.0 * static_cast<double>(value.size - 8);
        default: return 8;
        }
    }

    // Every reading of the columns from `at` on, keeping the cheapest; the first found
    // wins a tie.
    void Columns(const std::vector<std::size_t>& at, std::vector<HsqldbColumnKind>& columns, double cost)
    {
        if (found_ && cost >= bestCost_)
            return;
        bool allPadding = true;
        bool allNull = true;
        for (std::size_t i = 0; i < at.size(); ++i) {
            const auto& row = sample_.rows[i];
            allPadding = allPadding && HsqldbRowReader::AtPadding(row.data(), row.size(), at[i]);
            allNull = allNull && at[i] < row.size() && row[at[i]] == 0;
        }
        if (allPadding) {
            best_ = columns;
            bestCost_ = cost;
            found_ = true;
            return;
        }
        static constexpr HsqldbColumnKind kKinds[] = {
            HsqldbColumnKind::Decimal, HsqldbColumnKind::Timestamp, HsqldbColumnKind::Counted,
            HsqldbColumnKind::Boolean, HsqldbColumnKind::Int32,     HsqldbColumnKind::Int64,
            HsqldbColumnKind::Int16,
        };
        if (allNull) {
            std::vector<std::size_t> next(at);
            for (auto& position : next)
                ++position;
            columns.push_back(HsqldbColumnKind::Unknown);
            Columns(next, columns, cost + kUnknownPrice);
            columns.pop_back();
            return;
        }
        std::vector<std::size_t> next(at.size());
        for (const HsqldbColumnKind kind : kKinds) {
            if (budget_ < at.size())
                return;
            budget_ -= at.size();
            bool fits = true;
            std::int64_t scale = -1;
            double bits = 0;
            std::size_t values = 0;
            for (std::size_t i = 0; i < at.size() && fits; ++i) {
                const auto& row = sample_.rows[i];
                HsqldbRawValue value;
                next[i] = HsqldbRowReader::Step(row.data(), row.size(), at[i], kind, &value);
                fits = next[i] != SIZE_MAX;
                if (!fits || value.null)
                    continue;
                ++values;
                bits += ValueBits(kind, row.data(), value);
                if (kind == HsqldbColumnKind::Decimal) {
                    // Every value of a DECIMAL column carries the column's scale.
                    const std::int64_t own = HsqldbRowReader::Int(row.data() + value.at + value.size - 4, 4);
                    fits = scale < 0 || own == scale;
                    scale = own;
                }
            }
            if (!fits)
                continue;
            columns.push_back(kind);
            Columns(next, columns, cost + kColumnPrice + (values ? bits / static_cast<double>(values) : 0));
            columns.pop_back();
        }
    }

    const Sample& sample_;
    std::uint64_t end_;
    std::uint64_t budget_ = 0;
    std::vector<HsqldbColumnKind> best_;
    double bestCost_ = 0;
    bool found_ = false;
};

} // namespace

bool HsqldbRowCarver::ReadRecord(std::uint32_t offset, std::vector<unsigned char>& bytes) const
{
    unsigned char head[4];
    if (platform::FileIo::Current().ReadAt(fd_, head, 4, offset) != 4)
        return false;
    const std::uint32_t length = U32(head);
    if (length < kSmallestRecord || length > kLargestRow || offset + std::uint64_t{length} > size_)
        return false;
    bytes.resize(length);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got =
            platform::FileIo::Current().ReadAt(fd_, bytes.data() + done, length - done, offset + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

HsqldbCarving HsqldbRowCarver::Carve(bool damaged)
{
    HsqldbCarving carving;
    if (size_ < kHeaderSize + kSmallestRecord) {
        carving.result = HsqldbCarving::Result::NotData;
        return carving;
    }
    const std::uint64_t end = std::min<std::uint64_t>(size_, kLargestOffset);

    // The walk: records chained by their lengths, stepping over what is not one.
    std::vector<Record> records;
    SequentialWindow window(fd_, end);
    for (std::uint64_t at = kHeaderSize; at + 4 + kNodeSize <= end;) {
        const unsigned char* bytes = window.At(at, 4 + kNodeSize);
        if (bytes == nullptr) {
            carving.result = HsqldbCarving::Result::Unreadable;
            carving.error = platform::SystemErrorText(window.Failed() ? window.Failed() : EIO);
            return carving;
        }
        const std::uint32_t length = U32(bytes);
        const Record record{static_cast<std::uint32_t>(at), length, U32(bytes + 8), U32(bytes + 12), U32(bytes + 16)};
        if (length >= kSmallestRecord && length % 8 == 0 && length <= kLargestRow && at + length <= end &&
            PlausibleBalance(U32(bytes + 4)) && PlausibleLink(record.left, end) && PlausibleLink(record.right, end) &&
            PlausibleLink(record.parent, end) && record.left != at && record.right != at && record.parent != at) {
            if (records.size() >= kMostRows) {
                carving.result = HsqldbCarving::Result::TooLarge;
                return carving;
            }
            records.push_back(record);
            at += length;
        } else {
            at += 8;
        }
    }
    carving.records = records.size();

    // Each record's top: the root its parent chain reaches, or the last row before the
    // chain breaks.
    auto indexOf = [&](std::uint32_t offset) -> std::int64_t {
        const auto found = std::lower_bound(records.begin(), records.end(), offset,
                                            [](const Record& record, std::uint32_t value) { return record.offset < value; });
        return found != records.end() && found->offset == offset ? found - records.begin() : -1;
    };
    constexpr std::uint32_t kUnknown = 0xffffffffu;
    std::vector<std::uint32_t> top(records.size(), kUnknown);
    std::vector<std::uint32_t> path;
    for (std::size_t first = 0; first < records.size(); ++first) {
        path.clear();
        std::size_t row = first;
        std::uint32_t found = kUnknown;
        while (found == kUnknown) {
            if (top[row] != kUnknown) {
                found = top[row];
                break;
            }
            path.push_back(static_cast<std::uint32_t>(row));
            const std::int64_t parent = records[row].parent == 0 ? -1 : indexOf(records[row].parent);
            if (parent < 0 || path.size() > kDeepestChain ||
                (records[parent].left != records[row].offset && records[parent].right != records[row].offset)) {
                found = static_cast<std::uint32_t>(row);
                break;
            }
            row = static_cast<std::size_t>(parent);
        }
        for (const std::uint32_t on : path)
            top[on] = found;
    }

    // Groups by top, in the order of their first row.
    std::map<std::uint32_t, std::vector<std::uint32_t>> groups;
    for (std::size_t row = 0; row < records.size(); ++row)
        groups[top[row]].push_back(static_cast<std::uint32_t>(row));
    const std::vector<std::uint32_t>& groupTop = top;

    auto sampleOf = [&](const std::vector<std::uint32_t>& members) {
        Sample sample;
        std::size_t bytes = 0;
        const std::size_t step = std::max<std::size_t>(1, members.size() / kSampleRows);
        std::vector<unsigned char> row;
        for (std::size_t i = 0; i < members.size() && sample.rows.size() < kSampleRows; i += step) {
            const Record& record = records[members[i]];
            if (bytes + record.length > kSampleBytes && !sample.rows.empty())
                continue;
            if (ReadRecord(record.offset, row)) {
                bytes += row.size();
                sample.rows.push_back(row);
            }
        }
        return sample;
    };
    auto readsUnder = [&](const Sample& sample, const HsqldbRowLayout& layout) {
        std::vector<HsqldbRawValue> values;
        for (const auto& row : sample.rows) {
            if (row.size() < layout.ColumnsStart() || !HsqldbRowReader::Read(row.data(), row.size(), layout, values))
                return false;
            for (unsigned node = 1; node < layout.indexCount; ++node)
                if (!PlausibleBalance(U32(row.data() + 4 + node * kNodeSize)))
                    return false;
        }
        return !sample.rows.empty();
    };
    auto offsetsOf = [&](const std::vector<std::uint32_t>& members) {
        std::vector<std::uint32_t> offsets;
        offsets.reserve(members.size());
        for (const std::uint32_t member : members)
            offsets.push_back(records[member].offset);
        return offsets;
    };

    std::vector<const std::vector<std::uint32_t>*> fragments;
    for (const auto& [root, members] : groups) {
        if (records[root].parent != 0) {
            // A parent that is a row of a live tree and no longer points back: the row
            // was deleted. Only a parent that is lost leaves a fragment worth keeping.
            const std::int64_t parent = indexOf(records[root].parent);
            const bool deleted = parent >= 0 && records[groupTop[static_cast<std::size_t>(parent)]].parent == 0;
            if (damaged && !deleted)
                fragments.push_back(&members);
            else
                carving.unreachable += members.size();
            continue;
        }
        HsqldbCarvedTable table;
        table.rooted = true;
        if (!LayoutSearch(sampleOf(members), end).Find(table.layout)) {
            carving.unreadable += members.size();
            continue;
        }
        table.rows = offsetsOf(members);
        carving.tables.push_back(std::move(table));
    }
    const std::size_t rootedTables = carving.tables.size();
    for (const auto* members : fragments) {
        const Sample sample = sampleOf(*members);
        bool placed = false;
        for (std::size_t t = 0; t < carving.tables.size() && !placed; ++t) {
            // A fragment joins the first table (rooted ones come first) its rows read under.
            if (readsUnder(sample, carving.tables[t].layout)) {
                const auto offsets = offsetsOf(*members);
                carving.tables[t].rows.insert(carving.tables[t].rows.end(), offsets.begin(), offsets.end());
                placed = true;
            }
        }
        if (placed)
            continue;
        HsqldbCarvedTable table;
        if (!LayoutSearch(sample, end).Find(table.layout)) {
            carving.unreadable += members->size();
            continue;
        }
        bool merged = false;
        for (std::size_t t = rootedTables; t < carving.tables.size() && !merged; ++t) {
            if (carving.tables[t].layout == table.layout) {
                const auto offsets = offsetsOf(*members);
                carving.tables[t].rows.insert(carving.tables[t].rows.end(), offsets.begin(), offsets.end());
                merged = true;
            }
        }
        if (!merged) {
            table.rows = offsetsOf(*members);
            carving.tables.push_back(std::move(table));
        }
    }
    for (auto& table : carving.tables)
        std::sort(table.rows.begin(), table.rows.end());
    return carving;
}

} // namespace tavrin
