#include "engine/FirebirdBackupRecords.h"

#include <unordered_map>

namespace tavrin::fbk {
namespace {

// Attribute codes of the records read here.
constexpr std::uint8_t kAttributeEnd = 0;
constexpr std::uint8_t kHeaderFormat = 2;     // backup format (10 for Firebird 3)
constexpr std::uint8_t kHeaderCompressed = 4; // rows run-length compressed
constexpr std::uint8_t kRowBytes = 2;         // the row's bytes follow, without a length
constexpr std::uint8_t kRowLength = 0x11;     // the length the row decompresses to
constexpr std::uint8_t kBlobSegmentCount = 5;
constexpr std::uint8_t kBlobLongestSegment = 6;
constexpr std::uint8_t kBlobBytes = 7; // the segments follow

// A row is at most 64 KB in Firebird; its transportable form grows a little.
constexpr std::uint32_t kLongestRow = 1u << 20;
// BLR and source texts of definitions: a procedure's can be long, never this long.
constexpr std::uint32_t kLongestLongAttribute = 4u << 20;
// The attributes of one row or blob record are a handful of numbers.
constexpr std::uint8_t kLongestRowAttribute = 8;
constexpr int kMostRowAttributes = 16;
// Definition records carry a few dozen attributes; garbage that looks like them must
// not make the search for their end run long.
constexpr int kMostAttributes = 512;

std::uint32_t Le32(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

Framing WithResult(Framing::Result result, std::size_t length = 0)
{
    Framing framing;
    framing.result = result;
    framing.length = length;
    return framing;
}

Framing Short(const Span& span)
{
    return WithResult(span.reachesEnd ? Framing::Result::Cut : Framing::Result::NeedMore);
}

Framing Broken()
{
    return Framing{};
}

bool Accepted(std::uint8_t type, Place place)
{
    switch (place) {
    case Place::Definitions:
        return type != kBackupHeader && type != kRow && type != kBlob && type < kLastRecordType;
    case Place::TableData: return type == kIndex || type == kRow || type == kRelationEnd;
    case Place::AfterRow: return type == kRow || type == kBlob || type == kRelationEnd;
    }
    return false;
}

// The attributes of a row or blob record up to the code `last`, each a short number;
// `values` gets the four-byte ones by code.
struct ShortAttributes {
    Framing::Result result = Framing::Result::Broken;
    std::size_t end = 0; // just after the code `last`
};

ShortAttributes ReadShortAttributes(const Span& span, std::uint8_t last,
                                    std::unordered_map<std::uint8_t, std::uint32_t>& values)
{
    ShortAttributes read;
    std::size_t at = 1;
    for (int count = 0; count <= kMostRowAttributes; ++count) {
        if (at >= span.size) {
            read.result = Short(span).result;
            return read;
        }
        const std::uint8_t code = span.bytes[at];
        if (code == last) {
            read.result = Framing::Result::Whole;
            read.end = at + 1;
            return read;
        }
        if (code == kAttributeEnd)
            return read;
        if (at + 1 >= span.size) {
            read.result = Short(span).result;
            return read;
        }
        const std::uint8_t length = span.bytes[at + 1];
        if (length > kLongestRowAttribute)
            return read;
        if (at + 2 + length > span.size) {
            read.result = Short(span).result;
            return read;
        }
        if (length == 4)
            values[code] = Le32(span.bytes + at + 2);
        at += 2 + length;
    }
    return read;
}

Framing FrameRow(const Span& span, const BackupOptions& options)
{
    std::unordered_map<std::uint8_t, std::uint32_t> values;
    const ShortAttributes attributes = ReadShortAttributes(span, kRowBytes, values);
    if (attributes.result != Framing::Result::Whole)
        return WithResult(attributes.result);
    const auto length = values.find(kRowLength);
    if (length == values.end() || length->second == 0 || length->second > kLongestRow)
        return Broken();
    const std::uint32_t rowLength = length->second;
    std::size_t at = attributes.end;
    if (!options.compressed) {
        at += rowLength;
    } else {
        // A control byte below 128 is that many literal bytes, one above is the next
        // byte repeated 256 - c times; the runs end exactly at the row's length.
        std::uint32_t produced = 0;
        while (produced < rowLength) {
            if (at >= span.size)
                return Short(span);
            const std::uint8_t control = span.bytes[at];
            if (control == 0)
                return Broken();
            const std::uint32_t count = control < 128 ? control : 256u - control;
            if (count > rowLength - produced)
                return Broken();
            produced += count;
            at += 1 + (control < 128 ? count : 1);
        }
    }
    if (at > span.size)
        return Short(span);
    Framing framing;
    framing.result = Framing::Result::Whole;
    framing.length = at;
    framing.rowLength = rowLength;
    return framing;
}

Framing FrameBlob(const Span& span)
{
    std::unordered_map<std::uint8_t, std::uint32_t> values;
    const ShortAttributes attributes = ReadShortAttributes(span, kBlobBytes, values);
    if (attributes.result != Framing::Result::Whole)
        return WithResult(attributes.result);
    const auto count = values.find(kBlobSegmentCount);
    if (count == values.end() || count->second > (1u << 24))
        return Broken();
    const auto longest = values.find(kBlobLongestSegment);
    std::size_t at = attributes.end;
    for (std::uint32_t segment = 0; segment < count->second; ++segment) {
        if (at + 2 > span.size)
            return Short(span);
        const std::uint32_t length = span.bytes[at] | static_cast<std::uint32_t>(span.bytes[at + 1]) << 8;
        if (longest != values.end() && length > longest->second)
            return Broken();
        at += 2 + length;
        if (at > span.size)
            return Short(span);
    }
    Framing framing;
    framing.result = Framing::Result::Whole;
    framing.length = at;
    framing.blobSegments = count->second;
    return framing;
}

Framing Frame(const Span& span, Place place, const BackupOptions& options, int lookahead);

// A record of attributes ended by attribute 0, where a four-byte attribute may be a
// number or the length of the bytes that follow it. Each place inside the record is
// tried once: what follows it decides alone whether the record ends well from there.
class AttributeRecord {
public:
    AttributeRecord(const Span& span, Place after, const BackupOptions& options, int lookahead)
        : span_(span), after_(after), options_(options), lookahead_(lookahead)
    {
    }

    Framing FrameFrom(std::size_t at, int depth)
    {
        if (depth > kMostAttributes)
            return Broken();
        if (const auto known = tried_.find(at); known != tried_.end())
            return known->second;
        const Framing framing = Attempt(at, depth);
        tried_[at] = framing;
        return framing;
    }

private:
    Framing Attempt(std::size_t at, int depth)
    {
        if (at >= span_.size)
            return Short(span_);
        const std::uint8_t code = span_.bytes[at];
        if (code == kAttributeEnd)
            return Ended(at + 1);
        if (at + 1 >= span_.size)
            return Short(span_);
        const std::uint8_t length = span_.bytes[at + 1];
        Framing asNumber = At(at + 2 + length, depth);
        if (asNumber.result == Framing::Result::Whole || length != 4)
            return asNumber;
        if (at + 6 > span_.size)
            return Short(span_);
        const std::uint32_t longLength = Le32(span_.bytes + at + 2);
        if (longLength == 0 || longLength > kLongestLongAttribute)
            return asNumber;
        Framing asLong = At(at + 6 + longLength, depth);
        if (asLong.result == Framing::Result::Whole)
            return asLong;
        // Ask for more bytes while one reading may still end well.
        if (asNumber.result == Framing::Result::NeedMore || asLong.result == Framing::Result::NeedMore)
            return Short(Span{span_.bytes, span_.size, false});
        if (asNumber.result == Framing::Result::Cut || asLong.result == Framing::Result::Cut)
            return Short(span_);
        return Broken();
    }

    Framing At(std::size_t at, int depth)
    {
        if (at > span_.size)
            return Short(span_);
        return FrameFrom(at, depth + 1);
    }

    // The record ends just before `end`: taken when the record after it frames (or the
    // next type byte fits, when looking no further).
    Framing Ended(std::size_t end)
    {
        Framing framing;
        framing.result = Framing::Result::Whole;
        framing.length = end;
        if (lookahead_ < 0)
            return framing;
        if (end >= span_.size) {
            if (!span_.reachesEnd)
                return Short(span_);
            return framing; // the file ends after it
        }
        if (lookahead_ <= 0)
            return Accepted(span_.bytes[end], after_) ? framing : Broken();
        const Span next{span_.bytes + end, span_.size - end, span_.reachesEnd};
        const Framing following = Frame(next, after_, options_, lookahead_ - 1);
        if (following.result == Framing::Result::Whole || following.result == Framing::Result::Cut)
            return framing;
        if (following.result == Framing::Result::NeedMore)
            return following;
        return Broken();
    }

    const Span& span_;
    Place after_;
    const BackupOptions& options_;
    int lookahead_;
    std::unordered_map<std::size_t, Framing> tried_;
};

// Accepts a row or blob record once the record after it frames too.
Framing Followed(const Span& span, Framing framing, Place after, const BackupOptions& options, int lookahead)
{
    if (framing.result != Framing::Result::Whole || lookahead < 0)
        return framing;
    if (framing.length >= span.size)
        return span.reachesEnd ? framing : Short(span);
    if (lookahead <= 0)
        return Accepted(span.bytes[framing.length], after) ? framing : Broken();
    const Span next{span.bytes + framing.length, span.size - framing.length, span.reachesEnd};
    const Framing following = Frame(next, after, options, lookahead - 1);
    if (following.result == Framing::Result::Whole || following.result == Framing::Result::Cut)
        return framing;
    if (following.result == Framing::Result::NeedMore)
        return following;
    return Broken();
}

Framing Frame(const Span& span, Place place, const BackupOptions& options, int lookahead)
{
    if (span.size == 0)
        return Short(span);
    const std::uint8_t type = span.bytes[0];
    if (!Accepted(type, place))
        return Broken();
    const Place after = PlaceAfter(type, place);
    switch (type) {
    case kBackupEnd:
        return WithResult(Framing::Result::Whole, 1);
    case kRelationEnd:
    case kFunctionEnd:
    case kProcedureEnd: {
        Framing framing;
        framing.result = Framing::Result::Whole;
        framing.length = 1;
        return Followed(span, framing, after, options, lookahead);
    }
    case kRow: return Followed(span, FrameRow(span, options), after, options, lookahead);
    case kBlob: return Followed(span, FrameBlob(span), after, options, lookahead);
    default: break;
    }
    AttributeRecord record(span, after, options, lookahead);
    return record.FrameFrom(1, 0);
}

} // namespace

Place PlaceAfter(std::uint8_t type, Place place)
{
    switch (type) {
    case kTableData: return Place::TableData;
    case kRow:
    case kBlob: return Place::AfterRow;
    case kIndex: return place == Place::Definitions ? Place::Definitions : Place::TableData;
    default: return Place::Definitions;
    }
}

Framing FrameRecord(const Span& span, Place place, const BackupOptions& options, Lookahead lookahead)
{
    return Frame(span, place, options, lookahead == Lookahead::NextRecord ? 1 : -1);
}

Framing FrameBackupHeader(const Span& span, BackupOptions& options)
{
    if (span.size == 0)
        return Short(span);
    if (span.bytes[0] != kBackupHeader)
        return Broken();
    bool formatSeen = false;
    std::size_t at = 1;
    for (int count = 0; count <= kMostRowAttributes; ++count) {
        if (at >= span.size)
            return Short(span);
        const std::uint8_t code = span.bytes[at];
        if (code == kAttributeEnd) {
            if (!formatSeen)
                return Broken();
            return WithResult(Framing::Result::Whole, at + 1);
        }
        if (at + 1 >= span.size)
            return Short(span);
        const std::uint8_t length = span.bytes[at + 1];
        if (at + 2 + length > span.size)
            return Short(span);
        if (length == 4) {
            const std::uint32_t value = Le32(span.bytes + at + 2);
            if (code == kHeaderFormat) {
                // Format 10 is Firebird 3's; the neighbours share its framing.
                if (value < 6 || value > 12)
                    return Broken();
                formatSeen = true;
            } else if (code == kHeaderCompressed) {
                options.compressed = value != 0;
            }
        }
        at += 2 + length;
    }
    return Broken();
}

bool LooksLikeRowStart(const Span& span)
{
    return span.size >= 14 && span.bytes[0] == kRow && span.bytes[1] == 0x01 && span.bytes[2] == 4 &&
           span.bytes[7] == kRowLength && span.bytes[8] == 4 && span.bytes[13] == kRowBytes;
}

} // namespace tavrin::fbk

namespace tavrin::fbk {
namespace {

// Each place of the record is tried once: a place from which the record cannot end
// where it ends is remembered, so no reading is tried twice.
bool AttributesFrom(const std::uint8_t* record, std::size_t length, std::size_t at, std::vector<Attribute>& found,
                    std::vector<bool>& deadEnds)
{
    if (at >= length || deadEnds[at] || found.size() > static_cast<std::size_t>(kMostAttributes))
        return false;
    if (record[at] == kAttributeEnd)
        return at + 1 == length;
    const std::size_t before = found.size();
    if (at + 1 < length) {
        const std::uint8_t code = record[at];
        const std::uint8_t size = record[at + 1];
        found.push_back(Attribute{code, record + at + 2, size});
        if (at + 2 + size <= length && AttributesFrom(record, length, at + 2 + size, found, deadEnds))
            return true;
        found.resize(before);
        if (size == 4 && at + 6 <= length) {
            const std::uint32_t longSize = Le32(record + at + 2);
            if (longSize > 0 && longSize <= length - at - 6) {
                found.push_back(Attribute{code, record + at + 6, longSize});
                if (AttributesFrom(record, length, at + 6 + longSize, found, deadEnds))
                    return true;
                found.resize(before);
            }
        }
    }
    deadEnds[at] = true;
    return false;
}

} // namespace

std::vector<Attribute> RecordAttributes(const std::uint8_t* record, std::size_t length)
{
    std::vector<Attribute> found;
    std::vector<bool> deadEnds(length, false);
    if (length < 2 || !AttributesFrom(record, length, 1, found, deadEnds))
        found.clear();
    return found;
}

std::int32_t NumberOf(const std::vector<Attribute>& attributes, std::uint8_t code, std::int32_t otherwise)
{
    for (const Attribute& attribute : attributes)
        if (attribute.code == code && attribute.size == 4)
            return static_cast<std::int32_t>(Le32(attribute.bytes));
    return otherwise;
}

std::string TextOf(const std::vector<Attribute>& attributes, std::uint8_t code)
{
    for (const Attribute& attribute : attributes)
        if (attribute.code == code)
            return std::string(reinterpret_cast<const char*>(attribute.bytes), attribute.size);
    return {};
}

} // namespace tavrin::fbk
