#include "engine/HsqldbScriptRebuild.h"

#include "engine/HsqldbScriptTables.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace tavrin {
namespace {

constexpr std::int64_t kDay = 86400000;
constexpr std::int64_t kQuarterHour = 900000;
// Dates between the years 1 and 9999, in ms.
constexpr std::int64_t kEarliestDate = -62135596800000;
constexpr std::int64_t kLatestDate = 253402300799999;
// A text longer than this (UTF-16 units) makes the column a LONGVARCHAR.
constexpr std::size_t kLongestVarchar = 1u << 20;

enum class SqlType {
    Boolean, SmallInt, Integer, BigInt, Double, Date, Time, Timestamp, Decimal, Varchar, LongVarchar, Binary, Unknown
};

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

std::string CivilDate(std::int64_t days)
{
    // Days since 1970-01-01 to a proleptic Gregorian date.
    days += 719468;
    const std::int64_t era = FloorDiv(days, 146097);
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day));
    return text;
}

// The zone the rows' dates and times are read in. HSQLDB 1.8 stores a DATE as the ms of
// local midnight and a TIME or TIMESTAMP as the ms of the local time, all in the zone of
// the JVM that wrote them, and reads a literal in the zone of the JVM that loads it: the
// literal must be the writer's local time, whatever the zone of the repairing machine.
// The dates tell it: the machine's own zone when every date is its local midnight (a
// zone with summer time then gives every timestamp its own offset), else the offset
// most dates are midnight of, else UTC when there is no date.
struct WriterZone {
    bool local = false;
    std::int64_t offset = 0; // ms east of UTC, when not local
};

struct Civil {
    std::string date, time;
};

Civil CivilOf(std::int64_t ms, const WriterZone& zone)
{
    Civil civil;
    char text[32];
    if (zone.local) {
        const std::time_t seconds = static_cast<std::time_t>(FloorDiv(ms, 1000));
        std::tm local{};
        ::localtime_r(&seconds, &local);
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
        civil.date = text;
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
        civil.time = text;
        return civil;
    }
    const std::int64_t shifted = ms + zone.offset;
    const std::int64_t day = FloorDiv(shifted, kDay);
    const std::int64_t second = FloorDiv(shifted - day * kDay, 1000);
    civil.date = CivilDate(day);
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(second / 3600),
                  static_cast<long long>(second / 60 % 60), static_cast<long long>(second % 60));
    civil.time = text;
    return civil;
}

// True when `ms` is midnight in the machine's own zone.
bool LocalMidnight(std::int64_t ms)
{
    if (ms % 1000 != 0)
        return false;
    const std::time_t seconds = static_cast<std::time_t>(FloorDiv(ms, 1000));
    std::tm local{};
    return ::localtime_r(&seconds, &local) != nullptr && local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0;
}

// The unscaled two's-complement value as decimal digits with `scale` of them after
// the point.
std::string DecimalText(const unsigned char* bytes, std::size_t size, std::int64_t scale)
{
    std::vector<unsigned char> magnitude(bytes, bytes + size);
    const bool negative = size > 0 && (bytes[0] & 0x80);
    if (negative) {
        for (auto& byte : magnitude)
            byte = static_cast<unsigned char>(~byte);
        for (std::size_t i = magnitude.size(); i-- > 0;)
            if (++magnitude[i] != 0)
                break;
    }
    std::string digits;
    bool zero = false;
    while (!zero) {
        unsigned remainder = 0;
        zero = true;
        for (auto& byte : magnitude) {
            const unsigned value = remainder * 256 + byte;
            byte = static_cast<unsigned char>(value / 10);
            remainder = value % 10;
            zero = zero && byte == 0;
        }
        digits.insert(digits.begin(), static_cast<char>('0' + remainder));
    }
    while (digits.size() <= static_cast<std::size_t>(scale))
        digits.insert(digits.begin(), '0');
    if (scale > 0)
        digits.insert(digits.end() - scale, '.');
    return (negative ? "-" : "") + digits;
}

std::uint64_t Hash(const std::string& text)
{
    std::uint64_t hash = 1469598103934665603ull;
    for (const unsigned char c : text)
        hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

// A set of 64-bit hashes in one open-addressed table: 16 bytes a member at most, where
// a node-based set would take three times that for the millions of rows a table may hold.
class HashSet {
public:
    // True when `hash` was not in the set yet.
    bool Insert(std::uint64_t hash)
    {
        if (hash == 0)
            hash = 1; // 0 marks a free slot
        if ((count_ + 1) * 2 > slots_.size())
            Grow();
        std::size_t at = hash & (slots_.size() - 1);
        while (slots_[at] != 0) {
            if (slots_[at] == hash)
                return false;
            at = (at + 1) & (slots_.size() - 1);
        }
        slots_[at] = hash;
        ++count_;
        return true;
    }

    bool Contains(std::uint64_t hash) const
    {
        if (hash == 0)
            hash = 1;
        if (slots_.empty())
            return false;
        std::size_t at = hash & (slots_.size() - 1);
        while (slots_[at] != 0) {
            if (slots_[at] == hash)
                return true;
            at = (at + 1) & (slots_.size() - 1);
        }
        return false;
    }

    void InsertAll(const HashSet& other)
    {
        for (const std::uint64_t hash : other.slots_)
            if (hash != 0)
                Insert(hash);
    }

private:
    void Grow()
    {
        std::vector<std::uint64_t> old = std::move(slots_);
        slots_.assign(old.empty() ? 1024 : old.size() * 2, 0);
        count_ = 0;
        for (const std::uint64_t hash : old)
            if (hash != 0)
                Insert(hash);
    }

    std::vector<std::uint64_t> slots_;
    std::size_t count_ = 0;
};

struct ColumnFigures {
    HsqldbColumnKind kind = HsqldbColumnKind::Unknown;
    std::uint64_t values = 0;
    bool allText = true;
    std::size_t longestText = 0;
    std::size_t longestBinary = 0;
    bool dateLike = true, timeLike = true, doubleLike = true, anyNonZero = false;
    std::int64_t scale = 0;
    std::size_t digits = 1;
    // While the values may be dates: how many fall on each quarter hour of a UTC day,
    // and whether all are midnight in the machine's own zone.
    std::array<std::uint64_t, kDay / kQuarterHour> quarters{};
    bool localMidnights = true;
};

struct Part {
    std::size_t source;
    std::size_t table;       // of that source's carving
    unsigned indexCount;
};

struct MergedTable {
    bool guessed = true;     // made from carved layouts, not from a definition
    HsqldbRowLayout layout;  // its index count is that of each part
    std::vector<Part> parts;
    std::vector<std::size_t> keyColumns;
    std::vector<ColumnFigures> figures;
    std::vector<SqlType> types;
    bool key = false;
    HsqldbRebuiltTable out;
    std::vector<std::string> columnNames;
};

std::int64_t Int(const std::vector<unsigned char>& row, const HsqldbRawValue& value, std::size_t at, std::size_t size)
{
    return HsqldbRowReader::Int(row.data() + value.at + at, size);
}

void ObserveDate(ColumnFigures& figures, std::int64_t ms)
{
    ++figures.quarters[static_cast<std::size_t>((ms - FloorDiv(ms, kDay) * kDay) / kQuarterHour)];
    figures.localMidnights = figures.localMidnights && LocalMidnight(ms);
}

void Observe(ColumnFigures& figures, const std::vector<unsigned char>& row, const HsqldbRawValue& value)
{
    if (value.null)
        return;
    ++figures.values;
    switch (figures.kind) {
    case HsqldbColumnKind::Counted: {
        std::u16string units;
        const std::size_t size = value.size - 4;
        if (figures.allText && HsqldbRowReader::IsText(row.data() + value.at + 4, size, &units))
            figures.longestText = std::max(figures.longestText, units.size());
        else
            figures.allText = false;
        figures.longestBinary = std::max(figures.longestBinary, size);
        break;
    }
    case HsqldbColumnKind::Int64: {
        const std::int64_t v = Int(row, value, 0, 8);
        figures.anyNonZero = figures.anyNonZero || v != 0;
        figures.dateLike = figures.dateLike && v % kQuarterHour == 0 && v >= kEarliestDate && v <= kLatestDate;
        if (figures.dateLike)
            ObserveDate(figures, v);
        figures.timeLike = figures.timeLike && v % 1000 == 0 && v > -kDay && v < 2 * kDay;
        const int exponent = static_cast<int>((static_cast<std::uint64_t>(v) >> 52) & 0x7ff);
        figures.doubleLike = figures.doubleLike && ((v & 0x7fffffffffffffff) == 0 || (exponent > 1023 - 80 && exponent < 1023 + 80));
        break;
    }
    case HsqldbColumnKind::Decimal: {
        const std::size_t n = value.size - 8;
        figures.scale = Int(row, value, 4 + n, 4);
        figures.digits = std::max(figures.digits, DecimalText(row.data() + value.at + 4, n, 0).size());
        break;
    }
    default: break;
    }
}

SqlType Decide(const ColumnFigures& figures)
{
    switch (figures.kind) {
    case HsqldbColumnKind::Boolean: return SqlType::Boolean;
    case HsqldbColumnKind::Int16: return SqlType::SmallInt;
    case HsqldbColumnKind::Int32: return SqlType::Integer;
    case HsqldbColumnKind::Timestamp: return SqlType::Timestamp;
    case HsqldbColumnKind::Decimal: return SqlType::Decimal;
    case HsqldbColumnKind::Counted:
        if (!figures.allText)
            return SqlType::Binary;
        return figures.longestText > kLongestVarchar ? SqlType::LongVarchar : SqlType::Varchar;
    case HsqldbColumnKind::Int64:
        // Whole quarter hours far from 1970 are dates at a zone's midnight; whole seconds
        // within a day of it are times; sane exponents are doubles; else integers.
        if (figures.anyNonZero && figures.dateLike && !figures.timeLike)
            return SqlType::Date;
        if (figures.anyNonZero && figures.timeLike)
            return SqlType::Time;
        if (figures.anyNonZero && figures.doubleLike)
            return SqlType::Double;
        return SqlType::BigInt;
    case HsqldbColumnKind::Unknown: break;
    }
    return SqlType::Unknown;
}

std::string TypeText(SqlType type, const ColumnFigures& figures)
{
    switch (type) {
    case SqlType::Boolean: return "BOOLEAN";
    case SqlType::SmallInt: return "SMALLINT";
    case SqlType::Integer: return "INTEGER";
    case SqlType::BigInt: return "BIGINT";
    case SqlType::Double: return "DOUBLE";
    case SqlType::Date: return "DATE";
    case SqlType::Time: return "TIME";
    case SqlType::Timestamp: return "TIMESTAMP";
    case SqlType::Decimal:
        return "DECIMAL(" + std::to_string(std::max<std::size_t>(figures.digits + 2, 18)) + "," +
               std::to_string(figures.scale) + ")";
    case SqlType::Varchar: return "VARCHAR(" + std::to_string(std::max<std::size_t>(figures.longestText, 1)) + ")";
    case SqlType::LongVarchar: return "LONGVARCHAR";
    case SqlType::Binary: return "LONGVARBINARY";
    case SqlType::Unknown: break;
    }
    return "VARCHAR(100)";
}

std::string Literal(SqlType type, const std::vector<unsigned char>& row, const HsqldbRawValue& value,
                    const WriterZone& zone)
{
    if (value.null)
        return "NULL";
    const unsigned char* bytes = row.data() + value.at;
    switch (type) {
    case SqlType::Boolean: return bytes[0] ? "TRUE" : "FALSE";
    case SqlType::SmallInt: return std::to_string(HsqldbRowReader::Int(bytes, 2));
    case SqlType::Integer: return std::to_string(HsqldbRowReader::Int(bytes, 4));
    case SqlType::BigInt: return std::to_string(HsqldbRowReader::Int(bytes, 8));
    case SqlType::Double: {
        const std::uint64_t raw = static_cast<std::uint64_t>(HsqldbRowReader::Int(bytes, 8));
        double number;
        std::memcpy(&number, &raw, sizeof number);
        if (!std::isfinite(number))
            return "NULL";
        // The shortest digits that give the same double back, with the exponent HSQLDB
        // reads (1.5E0, 1.0E-5).
        char text[40];
        for (int digits = 1; digits <= 17; ++digits) {
            std::snprintf(text, sizeof text, "%.*E", digits - 1, number);
            if (std::strtod(text, nullptr) == number)
                break;
        }
        std::string literal = text;
        const auto exponent = literal.find('E');
        std::string power = literal.substr(exponent + 1);
        const bool negative = power[0] == '-';
        power = power.substr(1);
        power.erase(0, std::min(power.find_first_not_of('0'), power.size() - 1));
        return literal.substr(0, exponent) + "E" + (negative ? "-" : "") + power;
    }
    case SqlType::Date: {
        // The day of the local midnight, also when it is not that zone's midnight (a
        // date written by another program): the nearest one.
        const std::int64_t ms = HsqldbRowReader::Int(bytes, 8);
        if (zone.local)
            return "'" + CivilOf(ms + kDay / 2, zone).date + "'";
        return "'" + CivilDate(FloorDiv(ms + zone.offset + kDay / 2, kDay)) + "'";
    }
    case SqlType::Time: return "'" + CivilOf(HsqldbRowReader::Int(bytes, 8), zone).time + "'";
    case SqlType::Timestamp: {
        const Civil civil = CivilOf(HsqldbRowReader::Int(bytes, 8), zone);
        char nanos[16];
        std::snprintf(nanos, sizeof nanos, "%09lld", static_cast<long long>(HsqldbRowReader::Int(bytes + 8, 4)));
        return "'" + civil.date + " " + civil.time + "." + nanos + "'";
    }
    case SqlType::Decimal: {
        const std::size_t n = value.size - 8;
        return DecimalText(bytes + 4, n, HsqldbRowReader::Int(bytes + 4 + n, 4));
    }
    case SqlType::Varchar:
    case SqlType::LongVarchar: {
        std::u16string units;
        HsqldbRowReader::IsText(bytes + 4, value.size - 4, &units);
        std::string text = "'";
        for (const char16_t unit : units) {
            if (unit == '\'') {
                text += "''";
            } else if (unit >= 0x20 && unit < 0x7f && unit != '\\') {
                text += static_cast<char>(unit);
            } else {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(unit));
                text += escape;
            }
        }
        return text + "'";
    }
    case SqlType::Binary: {
        static const char kHex[] = "0123456789abcdef";
        std::string text = "'";
        for (std::size_t i = 4; i < value.size; ++i) {
            text += kHex[bytes[i] >> 4];
            text += kHex[bytes[i] & 15];
        }
        return text + "'";
    }
    case SqlType::Unknown: break;
    }
    return "NULL";
}

SqlType DeclaredType(const HsqldbScriptColumn& column)
{
    const std::string& type = column.type;
    if (type == "INTEGER" || type == "INT")
        return SqlType::Integer;
    if (type == "SMALLINT" || type == "TINYINT")
        return SqlType::SmallInt;
    if (type == "BIGINT")
        return SqlType::BigInt;
    if (type == "DOUBLE" || type == "REAL" || type == "FLOAT")
        return SqlType::Double;
    if (type == "DATE")
        return SqlType::Date;
    if (type == "TIME")
        return SqlType::Time;
    if (type == "TIMESTAMP" || type == "DATETIME")
        return SqlType::Timestamp;
    if (type == "DECIMAL" || type == "NUMERIC")
        return SqlType::Decimal;
    if (type == "BOOLEAN" || type == "BIT")
        return SqlType::Boolean;
    if (type.find("BINARY") != std::string::npos || type == "OTHER" || type == "OBJECT")
        return SqlType::Binary;
    return SqlType::Varchar;
}

WriterZone ZoneOfDates(const std::vector<MergedTable>& tables)
{
    std::array<std::uint64_t, kDay / kQuarterHour> quarters{};
    bool any = false, local = true;
    for (const MergedTable& table : tables)
        for (std::size_t c = 0; c < table.types.size(); ++c) {
            if (table.types[c] != SqlType::Date || c >= table.figures.size())
                continue;
            for (std::size_t q = 0; q < quarters.size(); ++q) {
                quarters[q] += table.figures[c].quarters[q];
                any = any || table.figures[c].quarters[q] > 0;
            }
            local = local && table.figures[c].localMidnights;
        }
    WriterZone zone;
    if (!any)
        return zone;
    if (local) {
        zone.local = true;
        return zone;
    }
    const std::size_t most = static_cast<std::size_t>(std::max_element(quarters.begin(), quarters.end()) - quarters.begin());
    // Midnight east of UTC falls on the day before: offsets run from -12 h to +14 h.
    zone.offset = (kDay - static_cast<std::int64_t>(most) * kQuarterHour) % kDay;
    if (zone.offset > 14 * 3600000)
        zone.offset -= kDay;
    return zone;
}

std::string ZoneText(const WriterZone& zone)
{
    if (zone.local)
        return "local";
    const std::int64_t minutes = (zone.offset < 0 ? -zone.offset : zone.offset) / 60000;
    char text[16];
    std::snprintf(text, sizeof text, "UTC%c%02lld:%02lld", zone.offset < 0 ? '-' : '+',
                  static_cast<long long>(minutes / 60), static_cast<long long>(minutes % 60));
    return text;
}

std::string Quoted(const std::string& name)
{
    std::string text = "\"";
    for (const char c : name)
        text += c == '"' ? std::string("\"\"") : std::string(1, c);
    return text + "\"";
}

bool HintFits(HsqldbValueHint hint, HsqldbColumnKind kind)
{
    using K = HsqldbColumnKind;
    switch (hint) {
    case HsqldbValueHint::Any: return true;
    case HsqldbValueHint::Quoted: return kind == K::Counted || kind == K::Int64 || kind == K::Timestamp || kind == K::Unknown;
    case HsqldbValueHint::Number:
        return kind == K::Int16 || kind == K::Int32 || kind == K::Int64 || kind == K::Decimal || kind == K::Unknown;
    case HsqldbValueHint::Truth: return kind == K::Boolean || kind == K::Unknown;
    }
    return false;
}

// True when what the package says of a table allows it to be `table`.
bool Fits(const HsqldbTableNames& names, const MergedTable& table)
{
    const std::vector<HsqldbColumnKind>& layout = table.layout.columns;
    const std::size_t count = layout.size();
    if (names.someColumns.size() > count)
        return false;
    if (!names.columns.empty()) {
        if (names.columns.size() != count)
            return false;
        for (const std::string& column : names.someColumns)
            if (std::find(names.columns.begin(), names.columns.end(), column) == names.columns.end())
                return false;
    }
    if (!names.kinds.empty()) {
        if (names.kinds.size() != count)
            return false;
        for (std::size_t c = 0; c < count; ++c)
            if (names.kinds[c] != layout[c] && layout[c] != HsqldbColumnKind::Unknown)
                return false;
    }
    if (!names.hints.empty()) {
        if (names.hints.size() != count)
            return false;
        for (std::size_t c = 0; c < count; ++c)
            if (!HintFits(names.hints[c], layout[c]))
                return false;
    }
    return true;
}

// A name the script can hold as it stands: printable ASCII on one line (how HSQLDB
// writes other characters of a name was not measured, so such names stay made up).
bool Writable(const std::string& name)
{
    return !name.empty() && name.size() <= 128 &&
           std::all_of(name.begin(), name.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

// Gives a table the name (and column names) the package holds for it, where the match
// is one to one: the only carved table the name fits, and the only name that fits it.
// A name that fits this table and others is still a rival: the table it belongs to may
// have lost all its rows (or kept them in the script, as a MEMORY table), so no name
// is given by elimination.
void ApplyNames(const std::vector<MergedTable*>& guessed, const std::vector<HsqldbTableNames>& names,
                const std::vector<std::string>& taken)
{
    std::vector<const HsqldbTableNames*> open;
    for (const HsqldbTableNames& known : names)
        if (Writable(known.table) && std::all_of(known.columns.begin(), known.columns.end(), Writable) &&
            std::find(taken.begin(), taken.end(), known.table) == taken.end())
            open.push_back(&known);
    std::vector<std::vector<bool>> fits(open.size(), std::vector<bool>(guessed.size()));
    for (std::size_t n = 0; n < open.size(); ++n)
        for (std::size_t t = 0; t < guessed.size(); ++t)
            fits[n][t] = Fits(*open[n], *guessed[t]);
    // A name that tells the shape of every column (a definition, a row) is matched
    // first, among such names only: a name known by a few columns fits nearly every
    // table and would otherwise keep the shaped names from theirs.
    auto shaped = [&](std::size_t n) {
        return !open[n]->columns.empty() || !open[n]->kinds.empty() || !open[n]->hints.empty();
    };
    std::vector<bool> named(guessed.size(), false), used(open.size(), false);
    for (std::size_t pass = 0; pass < 2 * open.size(); ++pass) {
        const bool round = pass < open.size();
        const std::size_t n = pass % open.size();
        if (shaped(n) != round)
            continue;
        std::size_t match = guessed.size(), matches = 0;
        for (std::size_t t = 0; t < guessed.size(); ++t)
            if (fits[n][t] && !named[t]) {
                match = t;
                ++matches;
            }
        if (matches != 1)
            continue;
        std::size_t rivals = 0;
        for (std::size_t other = 0; other < open.size(); ++other)
            rivals += other != n && !used[other] && fits[other][match] && (!round || shaped(other));
        if (rivals != 0)
            continue;
        named[match] = used[n] = true;
        MergedTable& table = *guessed[match];
        const HsqldbTableNames& known = *open[n];
        table.out.name = known.table;
        table.out.nameGuessed = false;
        if (!known.columns.empty()) {
            table.columnNames = known.columns;
            table.out.columnNamesGuessed = !known.columnsDefined;
        }
        // A name from the table's own definition, whose kinds the rows read under,
        // is as sure as a surviving script's; anything else is a likely match.
        if (!known.columnsDefined)
            table.out.nameSource = known.source;
    }
}

// Names and CREATE statements of the guessed tables, after `header`; names already
// taken (by defined tables) are skipped.
bool WriteDefinitions(std::vector<MergedTable>& tables, const std::vector<HsqldbTableNames>& names,
                      const std::string& header, const std::function<bool(const std::string&)>& write)
{
    std::vector<MergedTable*> guessed;
    std::vector<std::string> taken;
    for (MergedTable& table : tables) {
        if (table.guessed)
            guessed.push_back(&table);
        else
            taken.push_back(table.out.name);
    }
    for (MergedTable* table : guessed)
        for (std::size_t c = 0; c < table->types.size(); ++c)
            table->columnNames.push_back("COL" + std::to_string(c + 1));
    ApplyNames(guessed, names, taken);
    for (const MergedTable* table : guessed)
        if (!table->out.nameGuessed)
            taken.push_back(table->out.name);
    std::size_t number = 0;
    for (MergedTable* table : guessed) {
        if (!table->out.nameGuessed)
            continue;
        do
            table->out.name = "TABLE" + std::to_string(++number);
        while (std::find(taken.begin(), taken.end(), table->out.name) != taken.end());
    }

    std::string text = header;
    for (MergedTable* table : guessed) {
        std::string definition = "CREATE MEMORY TABLE " + Quoted(table->out.name) + "(";
        for (std::size_t c = 0; c < table->types.size(); ++c) {
            definition += (c ? "," : "") + Quoted(table->columnNames[c]) + " " + TypeText(table->types[c], table->figures[c]);
            if (c == 0 && table->key)
                definition += " NOT NULL PRIMARY KEY";
        }
        definition += ")";
        table->out.definition = definition;
        text += definition + "\n";
    }
    if (header.empty())
        return text.empty() || write(text);
    text += "CREATE USER SA PASSWORD \"\"\nGRANT DBA TO SA\nSET WRITE_DELAY 10\n";
    return write(text);
}

} // namespace

bool HsqldbScriptRebuild::Write(const std::vector<HsqldbCarvedSource>& sources,
                                const std::vector<HsqldbTableNames>& names, const std::vector<HsqldbScriptTable>* known,
                                const std::function<bool(const std::string&)>& writeDefinitions,
                                const std::function<bool(const std::string&)>& write, HsqldbRebuiltScript& result)
{
    result = HsqldbRebuiltScript{};
    std::vector<MergedTable> tables;
    std::vector<unsigned char> row;
    std::vector<HsqldbRawValue> values;
    std::vector<std::pair<std::size_t, std::size_t>> unplaced; // (source, table) without a definition
    if (known != nullptr) {
        // Each carved table goes to the first defined table its rows read under.
        for (const HsqldbScriptTable& definition : *known) {
            MergedTable table;
            table.guessed = false;
            table.layout.indexCount = 0;
            for (const HsqldbScriptColumn& column : definition.columns) {
                table.layout.columns.push_back(column.kind);
                table.types.push_back(DeclaredType(column));
                table.columnNames.push_back(column.name);
            }
            table.keyColumns = definition.key;
            table.key = !definition.key.empty();
            table.out.name = definition.name;
            table.out.nameGuessed = table.out.columnNamesGuessed = false;
            table.out.definition = definition.MemoryLine();
            tables.push_back(std::move(table));
        }
        for (std::size_t s = 0; s < sources.size(); ++s) {
            for (std::size_t t = 0; t < sources[s].carving->tables.size(); ++t) {
                const HsqldbCarvedTable& carved = sources[s].carving->tables[t];
                bool placed = false;
                for (MergedTable& table : tables) {
                    HsqldbRowLayout layout = table.layout;
                    layout.indexCount = carved.layout.indexCount;
                    std::size_t tried = 0, read = 0;
                    for (std::size_t r = 0; r < carved.rows.size() && tried < 32; r += std::max<std::size_t>(1, carved.rows.size() / 32), ++tried)
                        if (sources[s].carver->ReadRecord(carved.rows[r], row) &&
                            HsqldbRowReader::Read(row.data(), row.size(), layout, values))
                            ++read;
                    if (tried > 0 && read == tried) {
                        table.parts.push_back(Part{s, t, carved.layout.indexCount});
                        placed = true;
                        break;
                    }
                }
                if (!placed)
                    unplaced.emplace_back(s, t);
            }
        }
    }
    if (known == nullptr) {
        for (std::size_t s = 0; s < sources.size(); ++s)
            for (std::size_t t = 0; t < sources[s].carving->tables.size(); ++t)
                unplaced.emplace_back(s, t);
    }
    {
        // Carved tables of one layout are one table, once from each source.
        const std::size_t firstGuessed = tables.size();
        std::size_t currentSource = SIZE_MAX;
        std::vector<bool> taken;
        for (const auto& [s, t] : unplaced) {
            if (s != currentSource) {
                taken.assign(tables.size(), false);
                currentSource = s;
            }
            const HsqldbRowLayout& layout = sources[s].carving->tables[t].layout;
            bool merged = false;
            for (std::size_t m = firstGuessed; m < taken.size() && !merged; ++m) {
                if (!taken[m] && tables[m].layout == layout) {
                    tables[m].parts.push_back(Part{s, t, layout.indexCount});
                    taken[m] = merged = true;
                }
            }
            if (!merged) {
                MergedTable table;
                table.layout = layout;
                table.parts.push_back(Part{s, t, layout.indexCount});
                tables.push_back(std::move(table));
            }
        }
    }

    // First pass: the figures that settle each column's type, whether the first column
    // can be the key, and the dates that tell the zone the rows were written in.
    for (MergedTable& table : tables) {
        table.figures.resize(table.layout.columns.size());
        for (std::size_t c = 0; c < table.figures.size(); ++c)
            table.figures[c].kind = table.layout.columns[c];
        bool keyNeverNull = true;
        HashSet firstKeys;
        bool firstUnique = true;
        for (const Part& part : table.parts) {
            const std::size_t s = part.source;
            HsqldbRowLayout layout = table.layout;
            layout.indexCount = part.indexCount;
            for (const std::uint32_t offset : sources[s].carving->tables[part.table].rows) {
                if (!sources[s].carver->ReadRecord(offset, row) ||
                    !HsqldbRowReader::Read(row.data(), row.size(), layout, values))
                    continue;
                if (!table.guessed) {
                    // The types are declared: only the dates are looked at.
                    for (std::size_t c = 0; c < values.size(); ++c)
                        if (table.types[c] == SqlType::Date && !values[c].null)
                            ObserveDate(table.figures[c], Int(row, values[c], 0, 8));
                    continue;
                }
                for (std::size_t c = 0; c < values.size(); ++c)
                    Observe(table.figures[c], row, values[c]);
                keyNeverNull = keyNeverNull && !values.empty() && !values[0].null;
                if (s == table.parts.front().source && keyNeverNull && firstUnique) {
                    const std::string key(row.begin() + static_cast<std::ptrdiff_t>(values[0].at),
                                          row.begin() + static_cast<std::ptrdiff_t>(values[0].at + values[0].size));
                    firstUnique = firstKeys.Insert(Hash(key));
                }
            }
        }
        if (!table.guessed)
            continue;
        table.key = keyNeverNull && firstUnique && !table.figures.empty() && table.figures[0].values > 0;
        if (table.key)
            table.keyColumns = {0};
        for (const ColumnFigures& figures : table.figures)
            table.types.push_back(Decide(figures));
    }
    const WriterZone zone = ZoneOfDates(tables);
    result.zone = ZoneText(zone);

    if (!WriteDefinitions(tables, names, known ? "" : "CREATE SCHEMA PUBLIC AUTHORIZATION DBA\n", writeDefinitions))
        return false;
    std::string text;

    // Second pass: the rows.
    for (MergedTable& table : tables) {
        HashSet written;
        HashSet earlier; // rows of the sources before the current one
        std::size_t currentSource = table.parts.empty() ? 0 : table.parts.front().source;
        const std::string prefix = "INSERT INTO " + Quoted(table.out.name) + " VALUES(";
        text.clear();
        for (const Part& part : table.parts) {
            const std::size_t s = part.source;
            HsqldbRowLayout layout = table.layout;
            layout.indexCount = part.indexCount;
            if (s != currentSource) {
                if (!table.key)
                    earlier.InsertAll(written);
                currentSource = s;
            }
            for (const std::uint32_t offset : sources[s].carving->tables[part.table].rows) {
                if (!sources[s].carver->ReadRecord(offset, row) ||
                    !HsqldbRowReader::Read(row.data(), row.size(), layout, values)) {
                    ++table.out.unreadable;
                    continue;
                }
                std::string line = prefix;
                std::vector<std::string> literals;
                for (std::size_t c = 0; c < values.size(); ++c) {
                    literals.push_back(Literal(table.types[c], row, values[c], zone));
                    line += (c ? "," : "") + literals.back();
                }
                line += ")\n";
                std::string key;
                for (const std::size_t c : table.keyColumns)
                    key += literals[c] + ",";
                const std::uint64_t hash = Hash(table.key ? key : line);
                if (table.key ? !written.Insert(hash) : earlier.Contains(hash)) {
                    ++table.out.duplicates;
                    continue;
                }
                if (!table.key)
                    written.Insert(hash);
                text += line;
                ++table.out.rows;
                if (text.size() >= (1u << 20)) {
                    if (!write(text))
                        return false;
                    text.clear();
                }
            }
        }
        if (!text.empty() && !write(text))
            return false;
        result.rows += table.out.rows;
        result.dropped += table.out.duplicates + table.out.unreadable;
        result.tables.push_back(table.out);
    }
    return true;
}

} // namespace tavrin
