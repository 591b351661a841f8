#include "engine/FirebirdRowCheck.h"

#include "engine/FirebirdBackupRecords.h"

namespace tavrin {
namespace {

// Record types and attribute codes of the definitions read here.
constexpr std::uint8_t kDomain = 2;
constexpr std::uint8_t kTable = 3;
constexpr std::uint8_t kColumn = 4;
constexpr std::uint8_t kName = 1;
constexpr std::uint8_t kDomainComputed = 18; // the BLR of a computed column's domain
constexpr std::uint8_t kColumnDomain = 2;
constexpr std::uint8_t kColumnType = 8;
constexpr std::uint8_t kColumnLength = 10;
constexpr std::uint8_t kColumnComputed = 23;
constexpr std::uint8_t kColumnCharacterSet = 42;
constexpr std::int32_t kUtf8 = 4;

// Field types (RDB$FIELD_TYPE).
constexpr std::int32_t kSmallint = 7, kInteger = 8, kQuad = 9, kFloat = 10, kDate = 12, kTime = 13, kChar = 14,
                       kBigint = 16, kBoolean = 23, kDouble = 27, kTimestamp = 35, kVarchar = 37, kBlob = 261;

std::uint32_t Be32(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | static_cast<std::uint32_t>(bytes[3]);
}

std::uint32_t Padded(std::uint32_t size)
{
    return (size + 3u) & ~3u;
}

bool FixedSize(std::int32_t type, std::uint32_t& size)
{
    switch (type) {
    case kSmallint:
    case kInteger:
    case kFloat:
    case kDate:
    case kTime:
    case kBoolean: size = 4; return true;
    case kQuad:
    case kBigint:
    case kDouble:
    case kTimestamp:
    case kBlob: size = 8; return true;
    default: return false;
    }
}

bool IsUtf8(const std::uint8_t* bytes, std::size_t size)
{
    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t lead = bytes[at];
        std::size_t more = 0;
        if (lead < 0x80)
            more = 0;
        else if (lead >= 0xC2 && lead <= 0xDF)
            more = 1;
        else if (lead >= 0xE0 && lead <= 0xEF)
            more = 2;
        else if (lead >= 0xF0 && lead <= 0xF4)
            more = 3;
        else
            return false;
        if (more > 0 && at + more >= size)
            return false;
        for (std::size_t next = 1; next <= more; ++next)
            if ((bytes[at + next] & 0xC0) != 0x80)
                return false;
        at += 1 + more;
    }
    return true;
}

} // namespace

void FirebirdRowCheck::Definition(const std::uint8_t* record, std::size_t length)
{
    const std::uint8_t type = record[0];
    if (type != kDomain && type != kTable && type != kColumn && type != fbk::kTableData) {
        if (type != fbk::kIndex)
            defining_.clear();
        return;
    }
    const std::vector<fbk::Attribute> attributes = fbk::RecordAttributes(record, length);
    const std::string name = fbk::TextOf(attributes, kName);
    switch (type) {
    case kDomain: computedDomains_[name] = fbk::TextOf(attributes, kDomainComputed).size() > 0; break;
    case kTable:
        defining_ = name;
        tables_[name] = Table{};
        break;
    case kColumn: {
        if (defining_.empty())
            return;
        Table& table = tables_[defining_];
        const auto domain = computedDomains_.find(fbk::TextOf(attributes, kColumnDomain));
        if (fbk::NumberOf(attributes, kColumnComputed, 0) != 0 || (domain != computedDomains_.end() && domain->second))
            return; // computed: nothing stored
        Column column;
        column.type = fbk::NumberOf(attributes, kColumnType, -1);
        column.length = static_cast<std::uint32_t>(fbk::NumberOf(attributes, kColumnLength, 0));
        column.utf8 = fbk::NumberOf(attributes, kColumnCharacterSet, 0) == kUtf8;
        std::uint32_t size = 0;
        if (attributes.empty() || (!FixedSize(column.type, size) && column.type != kChar && column.type != kVarchar))
            table.checkable = false;
        table.columns.push_back(column);
        break;
    }
    default: { // the rows of a table start
        defining_.clear();
        const auto table = tables_.find(name);
        reading_ = table == tables_.end() || !table->second.checkable || table->second.columns.empty()
                       ? nullptr
                       : &table->second;
        proven_ = false;
        break;
    }
    }
}

FirebirdRowCheck::Verdict FirebirdRowCheck::CheckRow(const std::uint8_t* record, std::size_t length, bool compressed)
{
    if (reading_ == nullptr)
        return Verdict::Unchecked;
    // The bytes after attribute 2, decompressed.
    std::size_t at = 1;
    while (at + 1 < length && record[at] != 2)
        at += 2 + record[at + 1];
    ++at;
    row_.clear();
    if (!compressed) {
        row_.assign(record + at, record + length);
    } else {
        while (at < length) {
            const std::uint8_t control = record[at++];
            if (control < 128) {
                const std::size_t count = control <= length - at ? control : length - at;
                row_.insert(row_.end(), record + at, record + at + count);
                at += count;
            } else if (at < length) {
                row_.insert(row_.end(), 256u - control, record[at++]);
            }
        }
    }
    const std::uint8_t* bytes = row_.data();
    const std::size_t size = row_.size();
    std::size_t offset = 0;
    bool sound = true;
    for (const Column& column : reading_->columns) {
        std::uint32_t fixed = 0;
        if (FixedSize(column.type, fixed)) {
            offset += fixed;
        } else if (column.type == kChar) {
            if (offset + column.length > size) {
                sound = false;
                break;
            }
            if (column.utf8 && !IsUtf8(bytes + offset, column.length))
                sound = false;
            offset += Padded(column.length);
        } else { // VARCHAR
            if (offset + 4 > size) {
                sound = false;
                break;
            }
            const std::uint32_t textLength = Be32(bytes + offset);
            if (textLength > column.length || offset + 4 + textLength > size) {
                sound = false;
                break;
            }
            if (column.utf8 && !IsUtf8(bytes + offset + 4, textLength))
                sound = false;
            offset += 4 + Padded(textLength);
        }
        if (offset > size) {
            sound = false;
            break;
        }
    }
    if (sound && offset + 4 * reading_->columns.size() != size)
        sound = false;
    for (std::size_t column = 0; sound && column < reading_->columns.size(); ++column) {
        const std::uint32_t flag = Be32(bytes + offset + 4 * column);
        sound = flag == 0 || flag == 0xFFFFFFFFu;
    }
    if (sound) {
        proven_ = true;
        return Verdict::Sound;
    }
    // Until one row of the table reads right, a failure may be this reader's and not
    // the row's: the row is kept.
    return proven_ ? Verdict::Damaged : Verdict::Unchecked;
}

} // namespace tavrin
