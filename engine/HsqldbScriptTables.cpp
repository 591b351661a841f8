#include "engine/HsqldbScriptTables.h"

#include <cctype>

namespace tavrin {
namespace {

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

void SkipSpaces(const std::string& text, std::size_t& at)
{
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
}

// A name, quoted ("a ""b""") or plain (upper-cased as HSQLDB does), from `at`.
std::optional<std::string> Name(const std::string& text, std::size_t& at)
{
    SkipSpaces(text, at);
    if (at < text.size() && text[at] == '"') {
        std::string name;
        for (++at; at < text.size(); ++at) {
            if (text[at] == '"') {
                if (at + 1 < text.size() && text[at + 1] == '"') {
                    name += '"';
                    ++at;
                } else {
                    ++at;
                    return name;
                }
            } else {
                name += text[at];
            }
        }
        return std::nullopt;
    }
    const std::size_t start = at;
    while (at < text.size() && (std::isalnum(static_cast<unsigned char>(text[at])) || text[at] == '_'))
        ++at;
    if (at == start)
        return std::nullopt;
    return Upper(text.substr(start, at - start));
}

// The parts of a parenthesised list at its top level, split on commas.
std::optional<std::vector<std::string>> Parts(const std::string& text, std::size_t open, std::size_t& close)
{
    std::vector<std::string> parts;
    int depth = 0;
    bool quoted = false, string = false;
    std::string part;
    for (std::size_t at = open + 1; at < text.size(); ++at) {
        const char c = text[at];
        if (quoted) {
            quoted = c != '"';
        } else if (string) {
            string = c != '\'';
        } else if (c == '"') {
            quoted = true;
        } else if (c == '\'') {
            string = true;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth == 0) {
                parts.push_back(part);
                close = at;
                return parts;
            }
            --depth;
        } else if (c == ',' && depth == 0) {
            parts.push_back(part);
            part.clear();
            continue;
        }
        part += c;
    }
    return std::nullopt;
}

std::optional<HsqldbColumnKind> KindOf(const std::string& type)
{
    using K = HsqldbColumnKind;
    static const std::pair<const char*, K> kTypes[] = {
        {"INTEGER", K::Int32},     {"INT", K::Int32},          {"SMALLINT", K::Int16},     {"TINYINT", K::Int16},
        {"BIGINT", K::Int64},      {"DOUBLE", K::Int64},       {"REAL", K::Int64},         {"FLOAT", K::Int64},
        {"DATE", K::Int64},        {"TIME", K::Int64},         {"TIMESTAMP", K::Timestamp}, {"DATETIME", K::Timestamp},
        {"DECIMAL", K::Decimal},   {"NUMERIC", K::Decimal},    {"BOOLEAN", K::Boolean},    {"BIT", K::Boolean},
        {"CHAR", K::Counted},      {"CHARACTER", K::Counted},  {"VARCHAR", K::Counted},    {"LONGVARCHAR", K::Counted},
        {"VARCHAR_IGNORECASE", K::Counted}, {"BINARY", K::Counted}, {"VARBINARY", K::Counted},
        {"LONGVARBINARY", K::Counted}, {"OTHER", K::Counted},  {"OBJECT", K::Counted},
    };
    for (const auto& [name, kind] : kTypes)
        if (type == name)
            return kind;
    return std::nullopt;
}

std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    std::string word;
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
            word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

} // namespace

std::string HsqldbScriptTable::MemoryLine() const
{
    const std::string prefix = "CREATE CACHED TABLE ";
    if (line.rfind(prefix, 0) == 0)
        return "CREATE MEMORY TABLE " + line.substr(prefix.size());
    return line;
}

std::optional<HsqldbScriptTable> ParseHsqldbTable(const std::string& line)
{
    HsqldbScriptTable table;
    table.line = line;
    std::size_t at = 0;
    SkipSpaces(line, at);
    const std::string head = Upper(line.substr(at, 64));
    std::size_t keyword;
    if (head.rfind("CREATE TABLE ", 0) == 0 || head.rfind("CREATE MEMORY TABLE ", 0) == 0) {
        keyword = head.find("TABLE ") + 6;
    } else if (head.rfind("CREATE CACHED TABLE ", 0) == 0) {
        keyword = 20;
        table.cached = true;
    } else {
        return std::nullopt;
    }
    at += keyword;
    const auto name = Name(line, at);
    SkipSpaces(line, at);
    if (!name || at >= line.size() || line[at] != '(')
        return std::nullopt;
    table.name = *name;
    std::size_t close = 0;
    const auto parts = Parts(line, at, close);
    if (!parts)
        return std::nullopt;
    std::vector<std::string> keyNames;
    for (const std::string& part : *parts) {
        std::size_t p = 0;
        SkipSpaces(part, p);
        const std::vector<std::string> words = Words(part);
        if (words.empty())
            return std::nullopt;
        const std::string& first = words[0];
        if (part[p] != '"' &&
            (first == "CONSTRAINT" || first == "PRIMARY" || first == "UNIQUE" || first == "FOREIGN" || first == "CHECK")) {
            const auto primary = Upper(part).find("PRIMARY KEY");
            if (primary != std::string::npos) {
                std::size_t open = part.find('(', primary);
                std::size_t end = 0;
                const auto names = open == std::string::npos ? std::nullopt : Parts(part, open, end);
                if (!names)
                    return std::nullopt;
                for (const std::string& keyName : *names) {
                    std::size_t k = 0;
                    const auto parsed = Name(keyName, k);
                    if (!parsed)
                        return std::nullopt;
                    keyNames.push_back(*parsed);
                }
            }
            continue;
        }
        HsqldbScriptColumn column;
        const auto columnName = Name(part, p);
        if (!columnName)
            return std::nullopt;
        column.name = *columnName;
        SkipSpaces(part, p);
        std::size_t typeEnd = p;
        while (typeEnd < part.size() && (std::isalnum(static_cast<unsigned char>(part[typeEnd])) || part[typeEnd] == '_'))
            ++typeEnd;
        column.type = Upper(part.substr(p, typeEnd - p));
        const auto kind = KindOf(column.type);
        if (!kind)
            return std::nullopt;
        column.kind = *kind;
        if (Upper(part).find("PRIMARY KEY") != std::string::npos)
            keyNames.push_back(column.name);
        table.columns.push_back(column);
    }
    if (table.columns.empty())
        return std::nullopt;
    for (const std::string& keyName : keyNames)
        for (std::size_t c = 0; c < table.columns.size(); ++c)
            if (table.columns[c].name == keyName)
                table.key.push_back(c);
    return table;
}

std::optional<std::string> HsqldbIndexLineTable(const std::string& line)
{
    std::size_t at = 0;
    SkipSpaces(line, at);
    if (Upper(line.substr(at, 10)) != "SET TABLE ")
        return std::nullopt;
    at += 10;
    const auto name = Name(line, at);
    SkipSpaces(line, at);
    if (!name || Upper(line.substr(at, 5)) != "INDEX")
        return std::nullopt;
    return name;
}

} // namespace tavrin
