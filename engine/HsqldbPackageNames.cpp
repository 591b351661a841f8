#include "engine/HsqldbPackageNames.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <optional>

#include "engine/HsqldbScriptTables.h"
#include "engine/LineFileReader.h"
#include "engine/XmlScanner.h"
#include "platform/FileIo.h"

namespace tavrin {
namespace {

// content.xml and a form's content.xml are read whole up to this size; a larger one is
// not looked at for names.
constexpr std::size_t kLargestXml = std::size_t{32} << 20;

struct Token {
    enum class Kind { Quoted, Word, String, Number, Symbol } kind;
    std::string text; // names unquoted, words upper case
};

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The tokens of one SQL statement as HSQLDB reads them; empty when a quote is left open.
std::vector<Token> Tokens(const std::string& sql)
{
    std::vector<Token> tokens;
    std::size_t at = 0;
    while (at < sql.size()) {
        const char c = sql[at];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++at;
        } else if (c == '"' || c == '\'') {
            std::string text;
            bool closed = false;
            for (++at; at < sql.size(); ++at) {
                if (sql[at] == c) {
                    if (at + 1 < sql.size() && sql[at + 1] == c) {
                        text += c;
                        ++at;
                        continue;
                    }
                    ++at;
                    closed = true;
                    break;
                }
                text += sql[at];
            }
            if (!closed)
                return {};
            tokens.push_back({c == '"' ? Token::Kind::Quoted : Token::Kind::String, text});
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            const std::size_t start = at;
            while (at < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[at])) || sql[at] == '_'))
                ++at;
            tokens.push_back({Token::Kind::Word, Upper(sql.substr(start, at - start))});
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   ((c == '-' || c == '.') && at + 1 < sql.size() && std::isdigit(static_cast<unsigned char>(sql[at + 1])))) {
            const std::size_t start = at++;
            while (at < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[at])) || sql[at] == '.' ||
                                       ((sql[at] == '-' || sql[at] == '+') && (sql[at - 1] == 'E' || sql[at - 1] == 'e'))))
                ++at;
            tokens.push_back({Token::Kind::Number, sql.substr(start, at - start)});
        } else {
            tokens.push_back({Token::Kind::Symbol, std::string(1, c)});
            ++at;
        }
    }
    return tokens;
}

bool IsName(const Token& token)
{
    static const char* const kKeywords[] = {
        "SELECT", "FROM",  "WHERE",    "JOIN",   "INNER", "LEFT",  "RIGHT",  "FULL",  "OUTER",  "CROSS",
        "ON",     "GROUP", "ORDER",    "BY",     "HAVING", "UNION", "AS",    "AND",   "OR",     "NOT",
        "NULL",   "IS",    "IN",       "LIKE",   "DISTINCT", "ALL", "LIMIT", "TOP",   "BETWEEN", "EXISTS",
        "CASE",   "WHEN",  "THEN",     "ELSE",   "END",   "ASC",   "DESC",   "USING", "NATURAL", "INTO",
        "VALUES", "SET",   "UPDATE",   "DELETE", "INSERT", "TRUE", "FALSE", "EXCEPT", "INTERSECT", "OFFSET"};
    if (token.kind == Token::Kind::Quoted)
        return true;
    if (token.kind != Token::Kind::Word)
        return false;
    return std::none_of(std::begin(kKeywords), std::end(kKeywords), [&](const char* k) { return token.text == k; });
}

bool IsWord(const std::vector<Token>& tokens, std::size_t at, const char* word)
{
    return at < tokens.size() && tokens[at].kind == Token::Kind::Word && tokens[at].text == word;
}

bool IsSymbol(const std::vector<Token>& tokens, std::size_t at, char symbol)
{
    return at < tokens.size() && tokens[at].kind == Token::Kind::Symbol && tokens[at].text[0] == symbol;
}

class Gathered {
public:
    HsqldbTableNames& Table(const std::string& name, const std::string& source)
    {
        auto [it, added] = tables_.try_emplace(name);
        HsqldbTableNames& table = it->second;
        if (added) {
            table.table = name;
            table.source = source;
        } else if (table.source.find(source) == std::string::npos) {
            table.source += ", " + source;
        }
        return table;
    }

    void Column(const std::string& table, const std::string& column, const std::string& source)
    {
        auto& names = Table(table, source).someColumns;
        if (std::find(names.begin(), names.end(), column) == names.end())
            names.push_back(column);
    }

    // A whole column list; a second one that differs makes both unsure, so neither is used.
    void Columns(const std::string& table, const std::vector<std::string>& columns, bool defined,
                 const std::vector<HsqldbColumnKind>& kinds, const std::string& source)
    {
        for (const std::string& column : columns)
            Column(table, column, source);
        HsqldbTableNames& names = Table(table, source);
        if (conflicted_[table])
            return;
        if (names.columns.empty()) {
            names.columns = columns;
            names.columnsDefined = defined;
            names.kinds = kinds;
            return;
        }
        if (names.columns == columns) {
            if (defined && !names.columnsDefined) {
                names.columnsDefined = true;
                names.kinds = kinds;
            }
            return;
        }
        if (defined != names.columnsDefined && defined) {
            names.columns = columns; // a definition outweighs a query's order
            names.columnsDefined = true;
            names.kinds = kinds;
            return;
        }
        if (!defined && names.columnsDefined)
            return;
        names.columns.clear();
        names.kinds.clear();
        names.columnsDefined = false;
        conflicted_[table] = true;
    }

    void Row(const std::string& table, const std::vector<HsqldbValueHint>& hints, const std::string& source)
    {
        HsqldbTableNames& names = Table(table, source);
        if (rowConflicted_[table])
            return;
        if (names.hints.empty()) {
            names.hints = hints;
            return;
        }
        if (names.hints.size() != hints.size()) {
            names.hints.clear();
            rowConflicted_[table] = true;
            return;
        }
        for (std::size_t c = 0; c < hints.size(); ++c) {
            if (hints[c] == HsqldbValueHint::Any || hints[c] == names.hints[c])
                continue;
            if (names.hints[c] != HsqldbValueHint::Any) {
                names.hints.clear();
                rowConflicted_[table] = true;
                return;
            }
            names.hints[c] = hints[c];
        }
    }

    std::vector<HsqldbTableNames> Result() const
    {
        std::vector<HsqldbTableNames> result;
        for (const auto& [name, table] : tables_)
            result.push_back(table);
        return result;
    }

private:
    std::map<std::string, HsqldbTableNames> tables_;
    std::map<std::string, bool> conflicted_, rowConflicted_;
};

// The tables and columns a query's SQL names: the tables of its FROM and JOIN clauses
// (with their aliases), the columns qualified by one of them, and, when it reads one
// table, its quoted unqualified names too. A SELECT of nothing but plain columns of one
// table, and as many as the table has, gives a column order.
void ReadQuery(const std::string& sql, const std::string& source, Gathered& gathered)
{
    const std::vector<Token> tokens = Tokens(sql);
    if (tokens.empty() || !IsWord(tokens, 0, "SELECT"))
        return;
    std::map<std::string, std::string> aliases; // alias or table name -> table
    std::vector<std::string> tables;
    for (std::size_t at = 0; at < tokens.size(); ++at) {
        if (!IsWord(tokens, at, "FROM") && !IsWord(tokens, at, "JOIN"))
            continue;
        for (;;) {
            std::size_t name = at + 1;
            if (name >= tokens.size() || !IsName(tokens[name]))
                break;
            // schema.table
            while (IsSymbol(tokens, name + 1, '.') && name + 2 < tokens.size() && IsName(tokens[name + 2]))
                name += 2;
            const std::string table = tokens[name].text;
            std::size_t next = name + 1;
            if (IsWord(tokens, next, "AS"))
                ++next;
            aliases[table] = table;
            if (next < tokens.size() && IsName(tokens[next])) {
                aliases[tokens[next].text] = table;
                ++next;
            }
            if (std::find(tables.begin(), tables.end(), table) == tables.end())
                tables.push_back(table);
            at = next - 1;
            if (!IsSymbol(tokens, next, ','))
                break;
            at = next;
        }
    }
    if (tables.empty())
        return;
    for (const std::string& table : tables)
        gathered.Table(table, source);
    for (std::size_t at = 0; at + 2 < tokens.size(); ++at) {
        if (!IsName(tokens[at]) || !IsSymbol(tokens, at + 1, '.') || !IsName(tokens[at + 2]))
            continue;
        if (at > 0 && IsSymbol(tokens, at - 1, '.'))
            continue;
        if (IsSymbol(tokens, at + 3, '.'))
            continue; // schema.table.column: the table is the middle name
        const auto alias = aliases.find(tokens[at].text);
        if (alias != aliases.end())
            gathered.Column(alias->second, tokens[at + 2].text, source);
        at += 2;
    }
    if (tables.size() != 1)
        return;
    // One table: its quoted names that are not the table, an alias, qualified (read
    // above) or a result's name after AS are its columns.
    for (std::size_t t = 1; t < tokens.size(); ++t) {
        if (tokens[t].kind != Token::Kind::Quoted || aliases.count(tokens[t].text) || IsWord(tokens, t - 1, "AS") ||
            IsSymbol(tokens, t + 1, '.') || IsSymbol(tokens, t - 1, '.'))
            continue;
        gathered.Column(tables[0], tokens[t].text, source);
    }
    // SELECT "A", "B" FROM "T" [alias] [WHERE ... | ORDER ...]: the order of its columns,
    // when it names as many as the table has.
    std::vector<std::string> plain;
    std::size_t at = 1;
    for (;;) {
        std::size_t column = at;
        if (IsSymbol(tokens, column + 1, '.') && aliases.count(tokens[column].text))
            column += 2;
        if (column >= tokens.size() || !IsName(tokens[column]))
            return;
        plain.push_back(tokens[column].text);
        at = column + 1;
        if (!IsSymbol(tokens, at, ','))
            break;
        ++at;
    }
    if (!IsWord(tokens, at, "FROM"))
        return;
    std::size_t end = at + 2;
    if (IsWord(tokens, end, "AS"))
        ++end;
    if (end < tokens.size() && IsName(tokens[end]))
        ++end;
    if (end < tokens.size() && !IsWord(tokens, end, "WHERE") && !IsWord(tokens, end, "ORDER"))
        return;
    std::vector<std::string> sorted = plain;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end())
        gathered.Columns(tables[0], plain, false, {}, source);
}

std::string Attribute(const std::map<std::string, std::string>& attributes, const char* name)
{
    const auto it = attributes.find(name);
    return it == attributes.end() ? std::string() : it->second;
}

// content.xml: the queries' SQL and the table settings (a table's column settings).
class ContentListener : public XmlListener {
public:
    explicit ContentListener(Gathered& gathered) : gathered_(gathered) {}
    bool Start(std::string_view name, const std::map<std::string, std::string>& attributes, std::size_t, std::size_t,
               bool empty) override
    {
        if (name == "db:query") {
            const std::string command = Attribute(attributes, "db:command");
            if (!command.empty())
                ReadQuery(command, "the query '" + Attribute(attributes, "db:name") + "'", gathered_);
        }
        std::string table = stack_.empty() ? std::string() : stack_.back();
        if (name == "db:table-representation" || name == "db:table") {
            table = Attribute(attributes, "db:name");
            if (!table.empty())
                gathered_.Table(table, "the table settings");
        } else if (name == "db:column" && !table.empty()) {
            const std::string column = Attribute(attributes, "db:name");
            if (!column.empty())
                gathered_.Column(table, column, "the table settings");
        }
        if (!empty)
            stack_.push_back(table);
        return true;
    }
    void End(std::size_t begin, std::size_t end) override
    {
        if (begin != end && !stack_.empty())
            stack_.pop_back();
    }

private:
    Gathered& gathered_;
    std::vector<std::string> stack_; // per open element: the table whose settings it is in
};

// A form's content.xml: a form that shows a table, and the columns its controls show.
class FormListener : public XmlListener {
public:
    FormListener(Gathered& gathered, std::string source) : gathered_(gathered), source_(std::move(source)) {}
    bool Start(std::string_view name, const std::map<std::string, std::string>& attributes, std::size_t, std::size_t,
               bool empty) override
    {
        std::string table = stack_.empty() ? std::string() : stack_.back();
        if (name == "form:form") {
            table.clear();
            // A form over a query or an SQL command names no table of its own.
            const std::string type = Attribute(attributes, "form:command-type");
            const std::string command = Attribute(attributes, "form:command");
            if (type == "table" && !command.empty()) {
                table = command;
                gathered_.Table(table, source_);
            } else if (type == "command" && !command.empty()) {
                ReadQuery(command, source_, gathered_);
            }
        }
        const std::string field = Attribute(attributes, "form:data-field");
        if (!field.empty() && !table.empty())
            gathered_.Column(table, field, source_);
        if (!empty)
            stack_.push_back(table);
        return true;
    }
    void End(std::size_t begin, std::size_t end) override
    {
        if (begin != end && !stack_.empty())
            stack_.pop_back();
    }

private:
    Gathered& gathered_;
    std::string source_;
    std::vector<std::string> stack_;
};

HsqldbValueHint HintOf(const Token& token)
{
    switch (token.kind) {
    case Token::Kind::String: return HsqldbValueHint::Quoted;
    case Token::Kind::Number: return HsqldbValueHint::Number;
    case Token::Kind::Word:
        if (token.text == "TRUE" || token.text == "FALSE")
            return HsqldbValueHint::Truth;
        break;
    default: break;
    }
    return HsqldbValueHint::Any;
}

// One line of HSQLDB's log: its session mark (/*C1*/) dropped.
void ReadLogLine(std::string line, Gathered& gathered)
{
    const std::string source = "database/log";
    if (line.rfind("/*", 0) == 0) {
        const auto end = line.find("*/");
        if (end == std::string::npos)
            return;
        line.erase(0, end + 2);
    }
    if (const auto table = ParseHsqldbTable(line)) {
        std::vector<std::string> columns;
        std::vector<HsqldbColumnKind> kinds;
        for (const HsqldbScriptColumn& column : table->columns) {
            columns.push_back(column.name);
            kinds.push_back(column.kind);
        }
        gathered.Columns(table->name, columns, true, kinds, source);
        return;
    }
    const std::vector<Token> tokens = Tokens(line);
    if (IsWord(tokens, 0, "INSERT") && IsWord(tokens, 1, "INTO") && tokens.size() > 4 && IsName(tokens[2]) &&
        IsWord(tokens, 3, "VALUES") && IsSymbol(tokens, 4, '(') && IsSymbol(tokens, tokens.size() - 1, ')')) {
        std::vector<HsqldbValueHint> hints;
        bool valueNext = true;
        for (std::size_t at = 5; at + 1 < tokens.size(); ++at) {
            if (valueNext) {
                const HsqldbValueHint hint = HintOf(tokens[at]);
                if (hint == HsqldbValueHint::Any && !IsWord(tokens, at, "NULL"))
                    return; // a value this does not read
                hints.push_back(hint);
            } else if (!IsSymbol(tokens, at, ',')) {
                return;
            }
            valueNext = !valueNext;
        }
        if (!hints.empty() && !valueNext)
            gathered.Row(tokens[2].text, hints, source);
        return;
    }
    if (IsWord(tokens, 0, "DELETE") && IsWord(tokens, 1, "FROM") && tokens.size() > 5 && IsName(tokens[2]) &&
        IsWord(tokens, 3, "WHERE")) {
        for (std::size_t at = 4; at + 1 < tokens.size(); ++at)
            if (tokens[at].kind == Token::Kind::Quoted && IsSymbol(tokens, at + 1, '='))
                gathered.Column(tokens[2].text, tokens[at].text, source);
    }
}

} // namespace

std::vector<HsqldbTableNames> HsqldbNamesFrom(const std::string& contentXml, const std::vector<std::string>& formXmls,
                                              const std::string& log)
{
    Gathered gathered;
    {
        // A damaged document still tells what stands before its damage.
        ContentListener listener(gathered);
        ScanXml(contentXml, &listener);
    }
    for (std::size_t f = 0; f < formXmls.size(); ++f) {
        FormListener listener(gathered, "a form");
        ScanXml(formXmls[f], &listener);
    }
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find('\n', start);
        if (end == std::string::npos)
            break; // a line without its end may be cut short
        std::string line = log.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        ReadLogLine(line, gathered);
        start = end + 1;
    }
    return gathered.Result();
}

std::vector<HsqldbTableNames> GatherHsqldbNames(const std::string& base)
{
    std::string content;
    platform::ReadWholeFile(base + "content.xml", content, kLargestXml);
    std::vector<std::string> forms;
    if (const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir((base + "forms").c_str()), ::closedir); folder) {
        while (const dirent* entry = ::readdir(folder.get())) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            std::string form;
            if (platform::ReadWholeFile(base + "forms/" + name + "/content.xml", form, kLargestXml) ==
                platform::FileReadResult::Read)
                forms.push_back(std::move(form));
        }
    }
    std::string log;
    platform::ReadWholeFile(base + "database/log", log, kLargestXml);
    return HsqldbNamesFrom(content, forms, log);
}

} // namespace tavrin
