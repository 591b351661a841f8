#include "engine/HsqldbScriptRecovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cerrno>
#include <memory>

#include "engine/HsqldbRowCarver.h"
#include "engine/HsqldbScriptRebuild.h"
#include "platform/FileIo.h"
#include "platform/SystemError.h"

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
    static std::atomic<unsigned> counter{0};
    return base + "database/.tavrin-" + what + "-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1));
}

// A file opened for reading, closed on every path.
struct OpenFile {
    int fd = -1;
    std::uint64_t size = 0;
    ~OpenFile()
    {
        if (fd >= 0)
            ::close(fd);
    }
    bool Open(const std::string& path)
    {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
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
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (out < 0) {
        error = platform::SystemErrorText(errno);
        return false;
    }
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        ::close(out);
        error = "the inflater could not start";
        return false;
    }
    std::vector<unsigned char> input(1u << 16), output(1u << 16);
    std::uint64_t written = 0;
    bool ok = true;
    int status = Z_OK;
    while (ok && status == Z_OK && written < kLargestInflatedBackup) {
        if (stream.avail_in == 0) {
            const ssize_t got = platform::ReadSome(in.fd, input.data(), input.size());
            if (got <= 0)
                break;
            stream.next_in = input.data();
            stream.avail_in = static_cast<uInt>(got);
        }
        stream.next_out = output.data();
        stream.avail_out = static_cast<uInt>(output.size());
        status = inflate(&stream, Z_NO_FLUSH);
        const std::size_t produced = output.size() - stream.avail_out;
        if (produced > 0 && !platform::WriteFully(out, output.data(), produced)) {
            error = platform::SystemErrorText(errno);
            ok = false;
        }
        written += produced;
        if (status == Z_BUF_ERROR && stream.avail_in != 0)
            status = Z_OK;
    }
    whole = status == Z_STREAM_END;
    inflateEnd(&stream);
    if (::close(out) != 0 && ok) {
        error = platform::SystemErrorText(errno);
        ok = false;
    }
    return ok;
}

// Writes the new script through a temporary file renamed into place.
class ScriptFile {
public:
    explicit ScriptFile(std::string path) : path_(std::move(path)), temporary_(path_ + ".tavrin-new") {}
    ~ScriptFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!committed_)
            ::unlink(temporary_.c_str());
    }
    bool Open()
    {
        ::unlink(temporary_.c_str());
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd_ < 0)
            error_ = platform::SystemErrorText(errno);
        return fd_ >= 0;
    }
    bool Write(const std::string& text)
    {
        if (!platform::WriteFully(fd_, text.data(), text.size())) {
            error_ = platform::SystemErrorText(errno);
            return false;
        }
        return true;
    }
    bool Commit()
    {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 || ::rename(temporary_.c_str(), path_.c_str()) != 0) {
            error_ = platform::SystemErrorText(errno);
            return false;
        }
        committed_ = true;
        return true;
    }
    const std::string& Error() const { return error_; }

private:
    std::string path_;
    std::string temporary_;
    int fd_ = -1;
    bool committed_ = false;
    std::string error_;
};

bool SetModifiedNo(const std::string& path)
{
    std::string text;
    if (!platform::ReadSmallFile(path, text, 1u << 16))
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
                result += "modified=no\n";
            set = true;
        } else {
            result += line + "\n";
        }
        start = end + 1;
    }
    if (!set)
        result += "modified=no\n";
    if (result == text)
        return true;
    ScriptFile file(path);
    return file.Open() && file.Write(result) && file.Commit();
}

} // namespace

std::vector<DatabaseCompletion> RecoverHsqldbScript(const HsqldbScriptRecoveryInput& input)
{
    std::vector<DatabaseCompletion> done;
    auto failed = [&](const std::string& detail) {
        DatabaseCompletion completion{"script-not-rebuilt", kScript, detail, true};
        done.push_back(completion);
        return done;
    };

    struct Source {
        std::string label;
        OpenFile file;
        std::unique_ptr<HsqldbRowCarver> carver;
        HsqldbCarving carving;
    };
    std::vector<std::unique_ptr<Source>> sources;
    std::string temporaryBackup;
    struct Cleanup {
        std::string& path;
        ~Cleanup()
        {
            if (!path.empty())
                ::unlink(path.c_str());
        }
    } cleanup{temporaryBackup};

    auto carve = [&](const std::string& label, const std::string& path, bool damaged) -> std::string {
        auto source = std::make_unique<Source>();
        source->label = label;
        if (!source->file.Open(path))
            return label + " could not be read (" + platform::SystemErrorText(errno) + ")";
        source->carver = std::make_unique<HsqldbRowCarver>(source->file.fd, source->file.size);
        source->carving = source->carver->Carve(damaged);
        switch (source->carving.result) {
        case HsqldbCarving::Result::TooLarge:
            return label + " holds more than " + std::to_string(HsqldbRowCarver::kMostRows) +
                   " records, beyond what can be carved in memory";
        case HsqldbCarving::Result::Unreadable: return label + " could not be read (" + source->carving.error + ")";
        case HsqldbCarving::Result::NotData:
        case HsqldbCarving::Result::Carved: break;
        }
        sources.push_back(std::move(source));
        return {};
    };

    std::string problems;
    if (input.dataPresent) {
        const std::string problem = carve(kData, input.base + kData, !input.dataWhole);
        if (!problem.empty())
            problems += (problems.empty() ? "" : "; ") + problem;
    }
    if (input.backupPresent && !input.dataWhole) {
        temporaryBackup = TemporaryName(input.base, "backup");
        bool whole = false;
        std::string error;
        if (InflateBackup(input.base + kBackup, temporaryBackup, whole, error)) {
            const std::string problem = carve(kBackup, temporaryBackup, !whole || !input.backupWhole);
            if (!problem.empty())
                problems += (problems.empty() ? "" : "; ") + problem;
        } else {
            problems += (problems.empty() ? "" : "; ") + std::string(kBackup) + " could not be inflated (" + error + ")";
        }
    }

    std::vector<HsqldbCarvedSource> carved;
    std::string from;
    std::uint64_t unreadable = 0;
    for (const auto& source : sources) {
        if (source->carving.tables.empty())
            continue;
        carved.push_back(HsqldbCarvedSource{source->carver.get(), &source->carving});
        from += (from.empty() ? "" : " and ") + source->label;
        unreadable += source->carving.unreadable;
    }
    if (carved.empty())
        return failed(std::string(kScript) + " was not recovered and no row of a table could be carved from " +
                      (input.dataPresent ? kData : kBackup) + (problems.empty() ? "" : " (" + problems + ")") +
                      ": LibreOffice opens the database without its tables");

    ScriptFile script(input.base + kScript);
    HsqldbRebuiltScript rebuilt;
    if (!script.Open() ||
        !HsqldbScriptRebuild::Write(carved, {}, nullptr, [&](const std::string& text) { return script.Write(text); }, rebuilt) ||
        !script.Commit())
        return failed(std::string(kScript) + " was not recovered and a new one could not be written (" +
                      (script.Error().empty() ? std::string("a row could not be read") : script.Error()) + ")");

    // The rows live in the script now; HSQLDB must not use the old files for them.
    ::unlink((input.base + kData).c_str());
    ::unlink((input.base + kBackup).c_str());
    const bool hasProperties = ::access((input.base + kProperties).c_str(), F_OK) == 0;
    if (hasProperties)
        SetModifiedNo(input.base + kProperties);

    bool guessed = false;
    std::string tables;
    for (const HsqldbRebuiltTable& table : rebuilt.tables) {
        guessed = guessed || table.nameGuessed || table.columnNamesGuessed;
        tables += (tables.empty() ? "" : ", ") + table.name + " (" + std::to_string(table.rows) + " rows)";
    }
    DatabaseCompletion completion;
    completion.action = "script-rebuilt";
    completion.member = kScript;
    completion.detail = std::string(kScript) + " was not recovered: a new one is written with " +
                        std::to_string(rebuilt.rows) + " rows carved from " + from + " in " +
                        std::to_string(rebuilt.tables.size()) + " tables: " + tables;
    if (guessed)
        completion.detail += "; their names and column types are guessed (the names as TABLE1, COL1...)";
    const std::uint64_t dropped = rebuilt.dropped + unreadable;
    if (dropped > 0)
        completion.detail += "; " + std::to_string(dropped) + " records that did not read as rows are left out";
    if (!problems.empty())
        completion.detail += " (" + problems + ")";
    if (::access((input.base + "database/log").c_str(), F_OK) == 0)
        completion.detail += "; the changes held in database/log are not replayed";
    completion.rowsMayBeLost = guessed || dropped > 0 || !input.dataWhole || !problems.empty();
    completion.rowsCarved = rebuilt.rows;
    completion.rowsDropped = dropped;
    completion.namesGuessed = guessed;
    done.push_back(completion);
    return done;
}

} // namespace tavrin
