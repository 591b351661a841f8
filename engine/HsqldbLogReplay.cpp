#include "engine/HsqldbLogReplay.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <map>
#include <optional>
#include <vector>

#include "engine/HsqldbScriptTables.h"
#include "engine/LineFileReader.h"
#include "platform/AtomicFileWriter.h"
#include "platform/SystemError.h"

namespace tavrin {
namespace {

constexpr const char* kScript = "database/script";
constexpr const char* kLog = "database/log";

struct TableShape {
    std::vector<std::string> columns;
    std::vector<std::size_t> key;
};

std::string Quoted(const std::string& name)
{
    std::string text = "\"";
    for (const char c : name)
        text += c == '"' ? std::string("\"\"") : std::string(1, c);
    return text + "\"";
}

// The name at `at` ("a ""b""" or a plain word, upper-cased), moving past it.
std::optional<std::string> NameAt(const std::string& text, std::size_t& at)
{
    if (at < text.size() && text[at] == '"') {
        std::string name;
        for (++at; at < text.size(); ++at) {
            if (text[at] != '"') {
                name += text[at];
            } else if (at + 1 < text.size() && text[at + 1] == '"') {
                name += '"';
                ++at;
            } else {
                ++at;
                return name;
            }
        }
        return std::nullopt;
    }
    std::string name;
    for (; at < text.size() && (std::isalnum(static_cast<unsigned char>(text[at])) || text[at] == '_'); ++at)
        name += static_cast<char>(std::toupper(static_cast<unsigned char>(text[at])));
    if (name.empty())
        return std::nullopt;
    return name;
}

// The table a statement starting with `prefix` names, and where its name ends.
std::optional<std::string> TableAfter(const std::string& line, const std::string& prefix, std::size_t& end)
{
    if (line.rfind(prefix, 0) != 0)
        return std::nullopt;
    end = prefix.size();
    return NameAt(line, end);
}

// The literals of `VALUES(...)` at the end of an INSERT line, split at the commas that
// stand outside quotes; nullopt when it does not read as such a list.
std::optional<std::vector<std::string>> Values(const std::string& line, std::size_t at)
{
    static const std::string kValues = " VALUES(";
    if (line.compare(at, kValues.size(), kValues) != 0 || line.empty() || line.back() != ')')
        return std::nullopt;
    std::vector<std::string> values;
    std::string value;
    bool quoted = false;
    for (std::size_t i = at + kValues.size(); i + 1 < line.size(); ++i) {
        const char c = line[i];
        if (c == '\'')
            quoted = !quoted; // '' inside a string toggles twice
        if (c == ',' && !quoted) {
            values.push_back(value);
            value.clear();
            continue;
        }
        if ((c == '(' || c == ')') && !quoted)
            return std::nullopt;
        value += c;
    }
    if (quoted)
        return std::nullopt;
    values.push_back(value);
    return values;
}

// The lines of a session that change no table: its user, schema and transactions.
bool IsSessionLine(const std::string& line)
{
    return line == "COMMIT" || line == "ROLLBACK" || line == "SET AUTOCOMMIT TRUE" || line == "SET AUTOCOMMIT FALSE" ||
           line == "DISCONNECT" || line == "CONNECT USER SA" || line == "SET SCHEMA PUBLIC" ||
           line.rfind("SET WRITE_DELAY ", 0) == 0;
}

} // namespace

HsqldbLogReplay PrepareHsqldbLogReplay(const std::string& base)
{
    HsqldbLogReplay replay;
    const std::string logPath = base + kLog;
    if (::access(logPath.c_str(), F_OK) != 0)
        return replay;
    replay.present = true;
    auto fail = [&](const std::string& error) {
        replay.ok = false;
        replay.error = error;
        return replay;
    };

    std::map<std::string, TableShape> tables;
    {
        LineFileReader script(base + kScript);
        if (!script.IsOpen())
            return fail(platform::SystemErrorText(errno));
        std::string line;
        while (script.Next(line) == LineFileReader::Result::Line)
            if (const auto table = ParseHsqldbTable(line)) {
                TableShape shape;
                for (const HsqldbScriptColumn& column : table->columns)
                    shape.columns.push_back(column.name);
                shape.key = table->key;
                tables[table->name] = shape;
            }
    }

    LineFileReader log(logPath);
    if (!log.IsOpen())
        return fail(platform::SystemErrorText(errno));
    platform::AtomicFileWriter out(logPath, 0644);
    std::string text;
    std::string session, written; // the session of the lines read, and of the last line kept
    auto keep = [&](const std::string& statement) {
        if (session != written && !session.empty())
            text += session;
        written = session;
        text += statement + "\n";
    };
    std::string line;
    LineFileReader::Result result;
    while ((result = log.Next(line)) == LineFileReader::Result::Line) {
        // A line that starts a session's statements after another's carries its mark.
        if (line.rfind("/*C", 0) == 0) {
            const auto end = line.find("*/");
            if (end == std::string::npos) {
                ++replay.dropped;
                continue;
            }
            session = line.substr(0, end + 2);
            line.erase(0, end + 2);
        }
        std::size_t end = 0;
        if (IsSessionLine(line)) {
            keep(line);
            continue; // not counted: they change no row
        }
        if (const auto created = ParseHsqldbTable(line)) {
            if (tables.count(created->name) != 0) {
                ++replay.dropped; // the carved rows stand for it
                continue;
            }
            TableShape shape;
            for (const HsqldbScriptColumn& column : created->columns)
                shape.columns.push_back(column.name);
            shape.key = created->key;
            tables[created->name] = shape;
            keep(line);
            ++replay.kept;
        } else if (const auto table = TableAfter(line, "INSERT INTO ", end)) {
            const auto found = tables.find(*table);
            const auto values = Values(line, end);
            if (found == tables.end() || !values || values->size() != found->second.columns.size()) {
                ++replay.dropped;
                continue;
            }
            const TableShape& shape = found->second;
            if (!shape.key.empty()) {
                std::string where;
                for (const std::size_t c : shape.key)
                    where += (where.empty() ? "" : " AND ") + Quoted(shape.columns[c]) + "=" + (*values)[c];
                keep("DELETE FROM " + Quoted(*table) + " WHERE " + where);
            }
            keep(line);
            ++replay.kept;
        } else if (const auto deleted = TableAfter(line, "DELETE FROM ", end)) {
            if (tables.count(*deleted) == 0) {
                ++replay.dropped;
                continue;
            }
            keep(line);
            ++replay.kept;
        } else if (const auto dropped = TableAfter(line, "DROP TABLE ", end)) {
            if (tables.erase(*dropped) == 0) {
                ++replay.dropped;
                continue;
            }
            keep(line);
            ++replay.kept;
        } else {
            ++replay.dropped; // a statement whose effect on the new script is not known
        }
        if (text.size() >= (1u << 20)) {
            if (!out.Write(text.data(), text.size()))
                return fail(platform::SystemErrorText(out.Error()));
            text.clear();
        }
    }
    if (result == LineFileReader::Result::LastPart)
        ++replay.dropped; // a statement cut short
    if (result == LineFileReader::Result::Failed || result == LineFileReader::Result::TooLong)
        return fail(result == LineFileReader::Result::TooLong ? "a line of it is too long"
                                                              : platform::SystemErrorText(errno));
    if (replay.kept == 0) {
        if (::unlink(logPath.c_str()) != 0)
            return fail(platform::SystemErrorText(errno));
        return replay;
    }
    if (!out.Write(text.data(), text.size()) || !out.Commit())
        return fail(platform::SystemErrorText(out.Error()));
    return replay;
}

} // namespace tavrin
