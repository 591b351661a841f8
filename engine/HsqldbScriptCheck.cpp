#include "engine/HsqldbScriptCheck.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

#include "engine/LineFileReader.h"
#include "platform/AtomicFileWriter.h"
#include "platform/FileIo.h"
#include "platform/SystemError.h"

namespace tavrin {
namespace {

bool IsText(const std::string& line)
{
    for (std::size_t i = 0; i < line.size();) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 0x80) {
            if (c < 0x20 && c != '\t')
                return false;
            if (c == 0x7f)
                return false;
            ++i;
            continue;
        }
        const std::size_t length = (c & 0xe0) == 0xc0 ? 2 : (c & 0xf0) == 0xe0 ? 3 : (c & 0xf8) == 0xf0 ? 4 : 0;
        if (length == 0 || c == 0xc0 || c == 0xc1 || i + length > line.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(line[i + k]) & 0xc0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

bool QuotesClosed(const std::string& line)
{
    bool single = false, dbl = false;
    for (const char c : line) {
        if (c == '\'' && !dbl)
            single = !single;
        else if (c == '"' && !single)
            dbl = !dbl;
    }
    return !single && !dbl;
}

bool StartsWith(const std::string& text, const char* prefix)
{
    const std::size_t n = std::char_traits<char>::length(prefix);
    if (text.size() < n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

bool Digits(const std::string& text, std::size_t from, std::size_t to)
{
    if (from >= to)
        return false;
    for (std::size_t i = from; i < to; ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

bool Number(const std::string& text, bool fraction, bool exponent)
{
    std::size_t i = text[0] == '-' ? 1 : 0;
    const std::size_t start = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
        ++i;
    if (i == start)
        return false;
    if (fraction && i < text.size() && text[i] == '.') {
        const std::size_t digits = ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i;
        if (i == digits)
            return false;
    }
    if (exponent && i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < text.size() && (text[i] == '-' || text[i] == '+'))
            ++i;
        if (!Digits(text, i, text.size()))
            return false;
        i = text.size();
    }
    return i == text.size();
}

// The text of a quoted literal without its quotes ('' kept as it is), when it is one.
bool Quoted(const std::string& literal, std::string& inner)
{
    if (literal.size() < 2 || literal.front() != '\'' || literal.back() != '\'')
        return false;
    inner = literal.substr(1, literal.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
        if (inner[i] == '\'') {
            if (i + 1 >= inner.size() || inner[i + 1] != '\'')
                return false;
            ++i;
        }
    }
    return true;
}

bool DateText(const std::string& text, std::size_t at)
{
    return text.size() >= at + 10 && Digits(text, at, at + 4) && text[at + 4] == '-' &&
           Digits(text, at + 5, at + 7) && text[at + 7] == '-' && Digits(text, at + 8, at + 10);
}

bool TimeText(const std::string& text, std::size_t at)
{
    return text.size() >= at + 8 && Digits(text, at, at + 2) && text[at + 2] == ':' && Digits(text, at + 3, at + 5) &&
           text[at + 5] == ':' && Digits(text, at + 6, at + 8);
}

bool Fits(const std::string& literal, const HsqldbScriptColumn& column)
{
    if (literal == "NULL")
        return true;
    const std::string& type = column.type;
    std::string inner;
    switch (column.kind) {
    case HsqldbColumnKind::Int16:
    case HsqldbColumnKind::Int32: return Number(literal, false, false) && literal.size() <= 11;
    case HsqldbColumnKind::Int64:
        if (type == "DATE")
            return Quoted(literal, inner) && inner.size() == 10 && DateText(inner, 0);
        if (type == "TIME")
            return Quoted(literal, inner) && inner.size() == 8 && TimeText(inner, 0);
        if (type == "BIGINT")
            return Number(literal, false, false) && literal.size() <= 20;
        return Number(literal, true, true) || literal == "NaN" || literal == "Infinity" || literal == "-Infinity";
    case HsqldbColumnKind::Timestamp:
        if (!Quoted(literal, inner) || !DateText(inner, 0) || inner.size() < 19 || inner[10] != ' ' ||
            !TimeText(inner, 11))
            return false;
        return inner.size() == 19 || (inner[19] == '.' && Digits(inner, 20, inner.size()));
    case HsqldbColumnKind::Decimal: return Number(literal, true, false);
    case HsqldbColumnKind::Boolean: return literal == "TRUE" || literal == "FALSE";
    case HsqldbColumnKind::Counted:
        if (!Quoted(literal, inner))
            return false;
        if (type.find("BINARY") != std::string::npos) {
            if (inner.size() % 2 != 0)
                return false;
            for (const char c : inner)
                if (!std::isxdigit(static_cast<unsigned char>(c)))
                    return false;
        }
        return true;
    case HsqldbColumnKind::Unknown: break;
    }
    return false;
}

// The values of `INSERT INTO name VALUES(...)` split at their top-level commas.
bool InsertValues(const std::string& line, std::string& table, std::vector<std::string>& values)
{
    if (!StartsWith(line, "INSERT INTO "))
        return false;
    std::size_t at = 12;
    if (at < line.size() && line[at] == '"') {
        const std::size_t end = line.find('"', at + 1);
        if (end == std::string::npos)
            return false;
        table = line.substr(at + 1, end - at - 1);
        at = end + 1;
    } else {
        const std::size_t end = line.find(' ', at);
        if (end == std::string::npos)
            return false;
        table = line.substr(at, end - at);
        for (char& c : table)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        at = end;
    }
    while (at < line.size() && line[at] == ' ')
        ++at;
    if (!StartsWith(line.substr(at), "VALUES(") || line.back() != ')')
        return false;
    at += 7;
    std::string value;
    bool quoted = false;
    for (std::size_t i = at; i + 1 < line.size(); ++i) {
        const char c = line[i];
        if (c == '\'')
            quoted = !quoted;
        if (c == ',' && !quoted) {
            values.push_back(value);
            value.clear();
            continue;
        }
        value += c;
    }
    if (quoted)
        return false;
    values.push_back(value);
    return true;
}

} // namespace

bool HsqldbScriptCheck::Keep(const std::string& line, std::vector<HsqldbScriptTable>& tables)
{
    if (line.empty() || !IsText(line) || !QuotesClosed(line))
        return false;
    if (StartsWith(line, "CREATE ") && line.find(" TABLE ") != std::string::npos &&
        line.find(" TABLE ") < line.find('(')) {
        auto table = ParseHsqldbTable(line);
        if (!table)
            return false;
        tables.push_back(std::move(*table));
        return true;
    }
    auto find = [&](const std::string& name) -> const HsqldbScriptTable* {
        for (const HsqldbScriptTable& table : tables)
            if (table.name == name)
                return &table;
        return nullptr;
    };
    if (StartsWith(line, "INSERT ")) {
        std::string name;
        std::vector<std::string> values;
        if (!InsertValues(line, name, values))
            return false;
        const HsqldbScriptTable* table = find(name);
        if (table == nullptr || values.size() != table->columns.size())
            return false;
        for (std::size_t c = 0; c < values.size(); ++c)
            if (!Fits(values[c], table->columns[c]))
                return false;
        return true;
    }
    if (const auto indexed = HsqldbIndexLineTable(line)) {
        const std::size_t open = line.find('\'');
        const std::size_t close = line.rfind('\'');
        if (find(*indexed) == nullptr || open == std::string::npos || close <= open)
            return false;
        for (std::size_t i = open + 1; i < close; ++i)
            if (!std::isdigit(static_cast<unsigned char>(line[i])) && line[i] != ' ')
                return false;
        return true;
    }
    for (const char* statement : {"SET ", "CREATE ", "GRANT ", "ALTER ", "REVOKE "})
        if (StartsWith(line, statement))
            return true;
    return false;
}

HsqldbScriptCheckResult HsqldbScriptCheck::Run(const std::string& path)
{
    HsqldbScriptCheckResult result;
    LineFileReader reader(path);
    if (!reader.IsOpen()) {
        result.error = platform::SystemErrorText(errno);
        return result;
    }
    platform::AtomicFileWriter out(path, 0644);
    std::vector<HsqldbScriptTable> tables;
    std::vector<std::string> indexed;
    std::string line, text;
    bool ok = true;
    LineFileReader::Result read;
    while (ok && (read = reader.Next(line)) == LineFileReader::Result::Line) {
        if (!Keep(line, tables)) {
            ++result.dropped;
            continue;
        }
        ++result.kept;
        if (const auto table = HsqldbIndexLineTable(line))
            indexed.push_back(*table);
        text += line + (reader.SawCrLf() ? "\r\n" : "\n");
        if (text.size() >= (1u << 20)) {
            ok = out.Write(text.data(), text.size());
            text.clear();
        }
    }
    // A line cut short at the end is left for the completion of a cut script to drop.
    if (ok && read == LineFileReader::Result::LastPart)
        text += line;
    if (ok && (read == LineFileReader::Result::TooLong || read == LineFileReader::Result::Failed)) {
        ok = false;
        errno = read == LineFileReader::Result::TooLong ? EFBIG : errno;
    }
    // Rewritten only when a line goes: otherwise the work file is given up.
    if (ok && result.dropped > 0)
        ok = out.Write(text.data(), text.size()) && out.Commit();
    if (!ok && result.error.empty())
        result.error = platform::SystemErrorText(out.Error() ? out.Error() : errno);
    for (const HsqldbScriptTable& table : tables) {
        bool hasIndex = false;
        for (const std::string& name : indexed)
            hasIndex = hasIndex || name == table.name;
        if (table.cached && !hasIndex)
            result.cachedWithoutIndex.push_back(table.name);
    }
    result.tables = tables.size();
    result.ok = ok;
    return result;
}

} // namespace tavrin
