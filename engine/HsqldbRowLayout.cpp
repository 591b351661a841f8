#include "engine/HsqldbRowLayout.h"

namespace tavrin {
namespace {

// BigInteger.toByteArray never gives more than this for the values a DECIMAL column
// holds in practice (a precision of about 48 digits), nor a scale beyond this.
constexpr std::int64_t kLargestDecimalBytes = 20;
constexpr std::int64_t kLargestScale = 40;

bool Fits(std::size_t at, std::size_t size, std::size_t rowSize)
{
    return at <= rowSize && size <= rowSize - at;
}

} // namespace

std::int64_t HsqldbRowReader::Int(const unsigned char* bytes, std::size_t size)
{
    std::uint64_t value = (bytes[0] & 0x80) ? ~std::uint64_t{0} : 0;
    for (std::size_t i = 0; i < size; ++i)
        value = (value << 8) | bytes[i];
    return static_cast<std::int64_t>(value);
}

std::size_t HsqldbRowReader::Step(const unsigned char* row, std::size_t rowSize, std::size_t at,
                                  HsqldbColumnKind kind, HsqldbRawValue* value)
{
    if (at >= rowSize)
        return SIZE_MAX;
    if (row[at] == 0) {
        if (value)
            *value = HsqldbRawValue{};
        return at + 1;
    }
    if (row[at] != 1 || kind == HsqldbColumnKind::Unknown)
        return SIZE_MAX;
    const std::size_t start = at + 1;
    std::size_t size = 0;
    switch (kind) {
    case HsqldbColumnKind::Boolean:
        if (!Fits(start, 1, rowSize) || row[start] > 1)
            return SIZE_MAX;
        size = 1;
        break;
    case HsqldbColumnKind::Int16: size = 2; break;
    case HsqldbColumnKind::Int32: size = 4; break;
    case HsqldbColumnKind::Int64: size = 8; break;
    case HsqldbColumnKind::Timestamp: {
        size = 12;
        if (!Fits(start, size, rowSize))
            return SIZE_MAX;
        const std::int64_t ms = Int(row + start, 8);
        const std::int64_t nanos = Int(row + start + 8, 4);
        const std::int64_t millisPart = ((ms % 1000) + 1000) % 1000;
        if (nanos < 0 || nanos >= 1000000000 || nanos / 1000000 != millisPart)
            return SIZE_MAX;
        break;
    }
    case HsqldbColumnKind::Decimal: {
        if (!Fits(start, 4, rowSize))
            return SIZE_MAX;
        const std::int64_t n = Int(row + start, 4);
        if (n < 1 || n > kLargestDecimalBytes || !Fits(start + 4, static_cast<std::size_t>(n) + 4, rowSize))
            return SIZE_MAX;
        const unsigned char* digits = row + start + 4;
        // The shortest two's-complement form: no redundant leading byte.
        if (n > 1 && ((digits[0] == 0 && digits[1] < 0x80) || (digits[0] == 0xff && digits[1] >= 0x80)))
            return SIZE_MAX;
        const std::int64_t scale = Int(row + start + 4 + n, 4);
        if (scale < 0 || scale > kLargestScale)
            return SIZE_MAX;
        size = 8 + static_cast<std::size_t>(n);
        break;
    }
    case HsqldbColumnKind::Counted: {
        if (!Fits(start, 4, rowSize))
            return SIZE_MAX;
        const std::int64_t n = Int(row + start, 4);
        if (n < 0 || !Fits(start + 4, static_cast<std::size_t>(n), rowSize))
            return SIZE_MAX;
        size = 4 + static_cast<std::size_t>(n);
        break;
    }
    case HsqldbColumnKind::Unknown: return SIZE_MAX;
    }
    if (!Fits(start, size, rowSize))
        return SIZE_MAX;
    if (value)
        *value = HsqldbRawValue{false, start, size};
    return start + size;
}

bool HsqldbRowReader::IsText(const unsigned char* bytes, std::size_t size, std::u16string* units)
{
    for (std::size_t i = 0; i < size;) {
        const unsigned char first = bytes[i];
        char16_t unit;
        if (first < 0x80) {
            if (first == 0)
                return false;
            unit = first;
            i += 1;
        } else if ((first & 0xe0) == 0xc0) {
            if (i + 1 >= size || (bytes[i + 1] & 0xc0) != 0x80)
                return false;
            unit = static_cast<char16_t>(((first & 0x1f) << 6) | (bytes[i + 1] & 0x3f));
            i += 2;
        } else if ((first & 0xf0) == 0xe0) {
            if (i + 2 >= size || (bytes[i + 1] & 0xc0) != 0x80 || (bytes[i + 2] & 0xc0) != 0x80)
                return false;
            unit = static_cast<char16_t>(((first & 0x0f) << 12) | ((bytes[i + 1] & 0x3f) << 6) | (bytes[i + 2] & 0x3f));
            i += 3;
        } else {
            return false;
        }
        if (unit < 0x20 && unit != '\t' && unit != '\n' && unit != '\r')
            return false;
        if (units)
            units->push_back(unit);
    }
    return true;
}

bool HsqldbRowReader::AtPadding(const unsigned char* row, std::size_t rowSize, std::size_t at)
{
    if (at > rowSize || rowSize - at >= 8)
        return false;
    for (std::size_t i = at; i < rowSize; ++i)
        if (row[i] != 0)
            return false;
    return true;
}

bool HsqldbRowReader::Read(const unsigned char* row, std::size_t rowSize, const HsqldbRowLayout& layout,
                           std::vector<HsqldbRawValue>& values)
{
    values.assign(layout.columns.size(), HsqldbRawValue{});
    std::size_t at = layout.ColumnsStart();
    for (std::size_t column = 0; column < layout.columns.size(); ++column) {
        at = Step(row, rowSize, at, layout.columns[column], &values[column]);
        if (at == SIZE_MAX)
            return false;
    }
    return AtPadding(row, rowSize, at);
}

} // namespace tavrin
