#include "engine/HsqldbScriptRecovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <memory>

#include "engine/HsqldbLogReplay.h"
#include "engine/HsqldbPackageNames.h"
#include "engine/HsqldbRowCarver.h"
#include "engine/HsqldbScriptRebuild.h"
#include "engine/HsqldbScriptTables.h"
#include "engine/LineFileReader.h"
#include "platform/AtomicFileWriter.h"
#include "platform/FileIo.h"
#include "platform/SystemError.h"
#include "platform/WorkFileName.h"

namespace tavrin {
namespace {

constexpr const char* kScript = "database/script";
constexpr const char* kData = "database/data";
constexpr const char* kBackup = "database/backup";
constexpr const char* kProperties = "database/properties";
// The backup is inflated up to this size at most: no data file of HSQLDB 1.8 is
// larger (its offsets are 31-bit).
constexpr std::uint64_t kLargestInflatedBackup = std::uint64_t{1} << 31;

std::string TemporaryName(const std::string& base, const char* what)
{
    return base + "database/" + platform::WorkFileName(what);
}

// A regular file opened for reading, with its size.
struct OpenFile {
    platform::FileDescriptor file;
    std::uint64_t size = 0;
    bool Open(const std::string& path)
    {
        file = platform::FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        struct stat info {};
        if (!file.IsOpen() || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode))
            return false;
        size = static_cast<std::uint64_t>(info.st_size);
        return true;
    }
};

// Inflates the zlib stream of `from` into a new file `to`, as far as it inflates.
// False when nothing could be written; `whole` says whether the stream ended cleanly.
bool InflateBackup(const std::string& from, const std::string& to, bool& whole, std::string& error)
{
    whole = false;
    OpenFile in;
    if (!in.Open(from)) {
        error = platform::SystemErrorText(errno);
        return false;
    }
    platform::FileDescriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!out.IsOpen()) {
        error = platform::SystemErrorText(errno);
        return false;
    }
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        error = "the inflater could not start";
        return false;
    }
    std::vector<unsigned char> input(1u << 16), output(1u << 16);
    std::uint64_t written = 0;
    bool ok = true;
    int status = Z_OK;
    while (ok && status == Z_OK && written < kLargestInflatedBackup) {
        if (stream.avail_in == 0) {
            const ssize_t got = platform::ReadSome(in.file.Get(), input.data(), input.size());
            if (got <= 0)
                break;
            stream.next_in = input.data();
            stream.avail_in = static_cast<uInt>(got);
        }
        stream.next_out = output.data();
        stream.avail_out = static_cast<uInt>(output.size());
        status = inflate(&stream, Z_NO_FLUSH);
        const std::size_t produced = output.size() - stream.avail_out;
        if (produced > 0 && !platform::WriteFully(out.Get(), output.data(), produced)) {
            error = platform::SystemErrorText(errno);
            ok = false;
        }
        written += produced;
        if (status == Z_BUF_ERROR && stream.avail_in != 0)
            status = Z_OK;
    }
    whole = status == Z_STREAM_END;
    inflateEnd(&stream);
    if (const int closeError = out.Close(); closeError != 0 && ok) {
        error = platform::SystemErrorText(closeError);
        ok = false;
    }
    return ok;
}

// Writes the new script atomically (platform::AtomicFileWriter), with its error as text.
class ScriptFile {
public:
    explicit ScriptFile(std::string path) : file_(std::move(path), 0644) {}
    bool Open() { return file_.Open(); }
    bool Write(const std::string& text) { return file_.Write(text.data(), text.size()); }
    bool Commit() { return file_.Commit(); }
    std::string Error() const { return file_.Error() ? platform::SystemErrorText(file_.Error()) : std::string(); }

private:
    platform::AtomicFileWriter file_;
};

bool SetModified(const std::string& path, const std::string& value)
{
    std::string text;
    if (platform::ReadWholeFile(path, text, 1u << 16) != platform::FileReadResult::Read)
        return false;
    std::string result;
    std::size_t start = 0;
    bool set = false;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        if (line.rfind("modified", 0) == 0 && line.find_first_of("=:") != std::string::npos) {
            if (!set)
                result += "modified=" + value + "\n";
            set = true;
        } else {
            result += line + "\n";
        }
        start = end + 1;
    }
    if (!set)
        result += "modified=" + value + "\n";
    if (result == text)
        return true;
    ScriptFile file(path);
    return file.Open() && file.Write(result) && file.Commit();
}

// The carvings of data and (when data is not whole) of the backup, inflated into a
// temporary file removed with this.
class Carvings {
public:
    ~Carvings()
    {
        if (!temporaryBackup_.empty())
            ::unlink(temporaryBackup_.c_str());
    }

    void Gather(const HsqldbScriptRecoveryInput& input)
    {
        if (input.dataPresent)
            Carve(kData, input.base + kData, !input.dataWhole);
        if (input.backupPresent && !input.dataWhole) {
            temporaryBackup_ = TemporaryName(input.base, "backup");
            bool whole = false;
            std::string error;
            if (InflateBackup(input.base + kBackup, temporaryBackup_, whole, error))
                Carve(kBackup, temporaryBackup_, !whole || !input.backupWhole);
            else
                Problem(std::string(kBackup) + " could not be inflated (" + error + ")");
        }
        for (const auto& source : sources_) {
            if (source->carving.tables.empty())
                continue;
            carved_.push_back(HsqldbCarvedSource{source->carver.get(), &source->carving});
            from_ += (from_.empty() ? "" : " and ") + source->label;
            unreadable_ += source->carving.unreadable;
        }
    }

    const std::vector<HsqldbCarvedSource>& Carved() const { return carved_; }
    const std::string& From() const { return from_; }
    const std::string& Problems() const { return problems_; }
    std::uint64_t Unreadable() const { return unreadable_; }
    std::uint64_t Records() const
    {
        std::uint64_t records = 0;
        for (const auto& source : sources_)
            records += source->carving.records;
        return records;
    }

private:
    struct Source {
        std::string label;
        OpenFile file;
        std::unique_ptr<HsqldbRowCarver> carver;
        HsqldbCarving carving;
    };

    void Problem(const std::string& problem) { problems_ += (problems_.empty() ? "" : "; ") + problem; }

    void Carve(const std::string& label, const std::string& path, bool damaged)
    {
        auto source = std::make_unique<Source>();
        source->label = label;
        if (!source->file.Open(path)) {
            Problem(label + " could not be read (" + platform::SystemErrorText(errno) + ")");
            return;
        }
        source->carver = std::make_unique<HsqldbRowCarver>(source->file.file.Get(), source->file.size);
        source->carving = source->carver->Carve(damaged);
        switch (source->carving.result) {
        case HsqldbCarving::Result::TooLarge:
            Problem(label + " holds more than " + std::to_string(HsqldbRowCarver::kMostRows) +
                    " records, beyond what can be carved in memory");
            return;
        case HsqldbCarving::Result::Unreadable:
            Problem(label + " could not be read (" + source->carving.error + ")");
            return;
        case HsqldbCarving::Result::NotData:
        case HsqldbCarving::Result::Carved: break;
        }
        sources_.push_back(std::move(source));
    }

    std::vector<std::unique_ptr<Source>> sources_;
    std::vector<HsqldbCarvedSource> carved_;
    std::string temporaryBackup_;
    std::string from_;
    std::string problems_;
    std::uint64_t unreadable_ = 0;
};

std::string TableCounts(const HsqldbRebuiltScript& rebuilt)
{
    std::string tables;
    for (const HsqldbRebuiltTable& table : rebuilt.tables)
        tables += (tables.empty() ? "" : ", ") + table.name + " (" + std::to_string(table.rows) + " rows)";
    return tables;
}

bool AnyGuessed(const HsqldbRebuiltScript& rebuilt)
{
    for (const HsqldbRebuiltTable& table : rebuilt.tables)
        if (table.nameGuessed || table.columnNamesGuessed || !table.nameSource.empty())
            return true;
    return false;
}

// Which names are made up, which were matched to names found elsewhere in the package
// and where, so the log says how far each one can be trusted.
std::string GuessedNames(const HsqldbRebuiltScript& rebuilt)
{
    std::string madeUp, matched, columns;
    for (const HsqldbRebuiltTable& table : rebuilt.tables) {
        if (table.nameGuessed) {
            madeUp += (madeUp.empty() ? "" : ", ") + table.name;
            continue;
        }
        if (!table.nameSource.empty())
            matched += (matched.empty() ? "" : "; ") + table.name + " from " + table.nameSource;
        if (table.columnNamesGuessed)
            columns += (columns.empty() ? "" : ", ") + table.name;
    }
    std::string text;
    if (!madeUp.empty())
        text += "; the names of " + madeUp + " and of their columns are made up (TABLE1, COL1...)";
    if (!matched.empty())
        text += "; names taken from the package for the one carved table they fit: " + matched;
    if (!columns.empty())
        text += "; the column names of " + columns + " are guessed (COL1... or in the order a query lists them)";
    return text + "; the column types are chosen from the values";
}

// The rows are in the script now: HSQLDB must not use the old files for them, nor
// look for a backup.
void RetireDataFiles(const std::string& base)
{
    ::unlink((base + kData).c_str());
    ::unlink((base + kBackup).c_str());
    if (::access((base + kProperties).c_str(), F_OK) == 0)
        SetModified(base + kProperties, "no");
}

// The changes of database/log made to fit the new script, and HSQLDB asked to replay
// them (modified=yes: with no backup and only MEMORY tables it then loads the script
// and runs the log). The text for the log line, and whether statements were lost.
std::string ReplayLog(const std::string& base, bool& lost)
{
    const HsqldbLogReplay replay = PrepareHsqldbLogReplay(base);
    if (!replay.present)
        return {};
    if (!replay.ok) {
        lost = true;
        return "; database/log could not be made to fit the new script (" + replay.error +
               ") and its changes are not replayed";
    }
    lost = lost || replay.dropped > 0;
    const std::string dropped = std::to_string(replay.dropped) + " statements of database/log that name tables the "
                                "new script does not have, or that did not read, are dropped";
    if (replay.kept == 0)
        return "; " + dropped;
    const std::string path = base + kProperties;
    bool asked = false;
    if (::access(path.c_str(), F_OK) == 0) {
        asked = SetModified(path, "yes");
    } else {
        ScriptFile properties(path);
        asked = properties.Open() && properties.Write("version=1.8.0\nmodified=yes\n") && properties.Commit();
    }
    if (!asked) {
        lost = true;
        return "; " + std::string(kProperties) + " could not say modified=yes, so the changes held in database/log "
               "are not replayed";
    }
    std::string text = "; " + std::to_string(replay.kept) +
                       " statements of database/log (the changes made after the last save) are kept for HSQLDB to "
                       "replay when the database opens (modified=yes)";
    if (replay.dropped > 0)
        text += ", " + dropped;
    return text;
}

} // namespace

std::vector<DatabaseCompletion> RecoverHsqldbScript(const HsqldbScriptRecoveryInput& input)
{
    std::vector<DatabaseCompletion> done;
    Carvings carvings;
    carvings.Gather(input);
    const std::string& problems = carvings.Problems();
    auto failed = [&](const std::string& detail) {
        done.push_back(DatabaseCompletion{"script-not-rebuilt", kScript, detail, true});
        return done;
    };
    // Without a single record there is nothing to say beyond what extraction said.
    if (carvings.Carved().empty() && problems.empty() && carvings.Records() == 0)
        return done;
    if (carvings.Carved().empty())
        return failed(std::string(kScript) + " was not recovered and no row of a table could be carved from " +
                      (input.dataPresent ? kData : kBackup) + (problems.empty() ? "" : " (" + problems + ")") +
                      ": LibreOffice opens the database without its tables");

    ScriptFile script(input.base + kScript);
    HsqldbRebuiltScript rebuilt;
    if (!script.Open() ||
        !HsqldbScriptRebuild::Write(
            carvings.Carved(), GatherHsqldbNames(input.base), nullptr, [&](const std::string& text) { return script.Write(text); },
            [&](const std::string& text) { return script.Write(text); }, rebuilt) ||
        !script.Commit())
        return failed(std::string(kScript) + " was not recovered and a new one could not be written (" +
                      (script.Error().empty() ? std::string("a record could not be read") : script.Error()) + ")");
    RetireDataFiles(input.base);

    const bool guessed = AnyGuessed(rebuilt);
    DatabaseCompletion completion;
    completion.action = "script-rebuilt";
    completion.member = kScript;
    completion.detail = std::string(kScript) + " was not recovered: a new one is written with " +
                        std::to_string(rebuilt.rows) + " rows carved from " + carvings.From() + " in " +
                        std::to_string(rebuilt.tables.size()) + " tables: " + TableCounts(rebuilt);
    if (guessed)
        completion.detail += GuessedNames(rebuilt);
    const std::uint64_t dropped = rebuilt.dropped + carvings.Unreadable();
    if (dropped > 0)
        completion.detail += "; " + std::to_string(dropped) + " records that did not read as rows are left out";
    if (!problems.empty())
        completion.detail += " (" + problems + ")";
    bool logLost = false;
    completion.detail += ReplayLog(input.base, logLost);
    completion.rowsMayBeLost = guessed || dropped > 0 || !input.dataWhole || !problems.empty() || logLost;
    completion.rowsCarved = rebuilt.rows;
    completion.rowsDropped = dropped;
    completion.namesGuessed = guessed;
    done.push_back(completion);
    return done;
}

std::vector<DatabaseCompletion> RecoverHsqldbRows(const HsqldbScriptRecoveryInput& input, const std::string& condition)
{
    std::vector<DatabaseCompletion> done;
    const std::string path = input.base + kScript;

    // The definitions of the CACHED tables: only theirs were in the data file.
    std::vector<HsqldbScriptTable> cached;
    {
        LineFileReader reader(path);
        if (!reader.IsOpen())
            return done;
        std::string line;
        for (;;) {
            const LineFileReader::Result result = reader.Next(line);
            if (result != LineFileReader::Result::Line)
                break;
            if (auto table = ParseHsqldbTable(line); table && table->cached)
                cached.push_back(std::move(*table));
        }
    }
    if (cached.empty())
        return done;

    Carvings carvings;
    carvings.Gather(input);
    if (carvings.Carved().empty())
        return done;

    // The script again, its CACHED tables made MEMORY tables without index roots and a
    // statement cut short at its end dropped: first its definitions, then those of
    // the tables only carving found and the user lines when they were lost (HSQLDB
    // takes no definition after the first INSERT), then its own rows and the carved ones.
    ScriptFile script(path);
    if (!script.Open())
        return done;
    std::string text;
    auto flush = [&](bool always) {
        if (!always && text.size() < (1u << 20))
            return true;
        const bool ok = script.Write(text);
        text.clear();
        return ok;
    };
    auto copyLines = [&](bool rows) {
        LineFileReader reader(path);
        if (!reader.IsOpen())
            return false;
        std::string line;
        LineFileReader::Result result;
        while ((result = reader.Next(line)) == LineFileReader::Result::Line) {
            const std::string newline = reader.SawCrLf() ? "\r\n" : "\n";
            const bool isRow = line.rfind("INSERT INTO ", 0) == 0;
            if (isRow != rows)
                continue;
            if (const auto table = ParseHsqldbTable(line); table && table->cached) {
                text += table->MemoryLine() + newline;
            } else if (const auto indexed = HsqldbIndexLineTable(line)) {
                bool isCached = false;
                for (const HsqldbScriptTable& definition : cached)
                    isCached = isCached || definition.name == *indexed;
                if (!isCached)
                    text += line + newline;
            } else {
                text += line + newline;
            }
            if (!flush(false))
                return false;
        }
        return result == LineFileReader::Result::End || result == LineFileReader::Result::LastPart;
    };
    bool hasUser = false, hasGrant = false;
    {
        LineFileReader reader(path);
        if (!reader.IsOpen())
            return done;
        std::string line;
        while (reader.Next(line) == LineFileReader::Result::Line) {
            hasUser = hasUser || line == "CREATE USER SA PASSWORD \"\"";
            hasGrant = hasGrant || line == "GRANT DBA TO SA";
        }
    }
    bool rowsStarted = false;
    auto startRows = [&] {
        if (rowsStarted)
            return true;
        rowsStarted = true;
        if (!hasUser)
            text += "CREATE USER SA PASSWORD \"\"\n";
        if (!hasGrant)
            text += "GRANT DBA TO SA\n";
        return copyLines(true);
    };
    HsqldbRebuiltScript rebuilt;
    if (!copyLines(false) || !flush(true) ||
        !HsqldbScriptRebuild::Write(
            carvings.Carved(), GatherHsqldbNames(input.base), &cached, [&](const std::string& part) { return script.Write(part); },
            [&](const std::string& part) { return startRows() && flush(true) && script.Write(part); }, rebuilt) ||
        !startRows() || !flush(true) || rebuilt.rows == 0 || !script.Commit())
        return done;
    RetireDataFiles(input.base);

    const std::uint64_t dropped = rebuilt.dropped + carvings.Unreadable();
    const bool guessed = AnyGuessed(rebuilt);
    DatabaseCompletion completion;
    completion.namesGuessed = guessed;
    completion.action = "rows-carved";
    completion.member = kScript;
    completion.detail = std::string(kData) + " " + condition + ": " + std::to_string(rebuilt.rows) +
                        " rows carved from " + carvings.From() + " are written into " + kScript +
                        " with its tables made MEMORY tables: " + TableCounts(rebuilt);
    if (guessed)
        completion.detail += GuessedNames(rebuilt);
    if (dropped > 0)
        completion.detail += "; " + std::to_string(dropped) + " records that did not read as rows are left out";
    if (!carvings.Problems().empty())
        completion.detail += " (" + carvings.Problems() + ")";
    bool logLost = false;
    completion.detail += ReplayLog(input.base, logLost);
    completion.rowsMayBeLost = true;
    completion.rowsCarved = rebuilt.rows;
    completion.rowsDropped = dropped;
    done.push_back(completion);
    return done;
}

} // namespace tavrin
