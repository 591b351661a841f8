#include "engine/HsqldbCompletion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <optional>

#include "engine/EmbeddedDatabase.h"
#include "engine/HsqldbDataFile.h"
#include "engine/HsqldbScriptCheck.h"
#include "engine/HsqldbScriptRecovery.h"
#include "engine/LineFileReader.h"
#include "engine/MemberExtractor.h"
#include "platform/AtomicFileWriter.h"
#include "platform/FileIo.h"
#include "platform/PathJoin.h"
#include "platform/SystemError.h"

namespace tavrin {
namespace {

constexpr const char* kScript = "database/script";
constexpr const char* kProperties = "database/properties";
constexpr const char* kData = "database/data";
constexpr const char* kBackup = "database/backup";

// The statements that give LibreOffice its user: without the first the connection
// fails ("User not found: SA"), without the second it connects but sees no table.
constexpr const char* kCreateUser = "CREATE USER SA PASSWORD \"\"";
constexpr const char* kGrantDba = "GRANT DBA TO SA";

// Data mended in memory (when its rows could not be carved) is read whole, with one bit
// per 8 bytes beside it: a larger file is left as it is, to keep the repair's memory
// bounded whatever a member inflates to.
constexpr std::size_t kLargestMendedData = std::size_t{64} << 20;
constexpr const char* kTooLarge = "it is too large";

// A properties file is a few hundred bytes; anything much larger is not one.
constexpr std::size_t kLargestProperties = 1u << 16;

enum class MemberState {
    Missing,   // no file
    Whole,     // written whole, and its CRC matched or none was recorded
    Truncated, // only its readable start is there
    Damaged,   // whole length, but its CRC does not match: some bytes are wrong
};

MemberState StateOf(const std::string& base, const std::string& name, const std::vector<MemberReport>& members)
{
    struct stat info {};
    if (::lstat((base + name).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return MemberState::Missing;
    // The file on disk is the last one written under that name.
    std::optional<MemberState> state;
    for (const MemberReport& member : members) {
        if (SafeMemberPath(member.name) != name)
            continue;
        switch (member.outcome) {
        case MemberOutcome::Written:
            state = member.crcCheck == CrcCheck::Mismatch ? MemberState::Damaged : MemberState::Whole;
            break;
        case MemberOutcome::CutShort:
        case MemberOutcome::Salvaged: state = MemberState::Truncated; break;
        case MemberOutcome::NotInflated:
        case MemberOutcome::NotWritten:
        case MemberOutcome::NotRead: break;
        }
    }
    return state.value_or(MemberState::Whole);
}

template <typename Bytes>
bool ReadWhole(const std::string& path, Bytes& bytes, std::size_t limit, std::string& error)
{
    switch (platform::ReadWholeFile(path, bytes, limit)) {
    case platform::FileReadResult::Read: return true;
    case platform::FileReadResult::TooLarge: error = kTooLarge; return false;
    case platform::FileReadResult::Failed: break;
    }
    error = platform::LastSystemErrorText();
    return false;
}

// Replaces `path` with `bytes` atomically: a failure leaves the old file as it was and
// never a half-written one.
bool ReplaceFile(const std::string& path, const void* bytes, std::size_t size, std::string& error)
{
    platform::AtomicFileWriter file(path, 0644);
    if (file.Write(bytes, size) && file.Commit())
        return true;
    error = platform::SystemErrorText(file.Error());
    return false;
}

bool ReplaceFile(const std::string& path, const std::string& text, std::string& error)
{
    return ReplaceFile(path, text.data(), text.size(), error);
}

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\f\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\f\r") - first + 1);
}

// The properties text as lines, with the key and value of each non-comment line as
// java.util.Properties reads them in the simple form HSQLDB writes (key=value).
struct PropertiesText {
    std::string text;

    std::optional<std::string> Value(const std::string& key) const
    {
        std::optional<std::string> value;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            const std::string line = Trimmed(text.substr(start, end - start));
            const auto separator = line.find_first_of("=:");
            if (!line.empty() && line[0] != '#' && line[0] != '!' && separator != std::string::npos &&
                Trimmed(line.substr(0, separator)) == key)
                value = Trimmed(line.substr(separator + 1)); // the last one counts
            start = end + 1;
        }
        return value;
    }

    // Every line of `key` replaced by key=value, or one appended when there was none.
    void Set(const std::string& key, const std::string& value)
    {
        std::string result;
        bool set = false;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            const bool lastLine = end == std::string::npos;
            if (lastLine)
                end = text.size();
            const std::string raw = text.substr(start, end - start);
            const std::string line = Trimmed(raw);
            const auto separator = line.find_first_of("=:");
            if (!line.empty() && line[0] != '#' && line[0] != '!' && separator != std::string::npos &&
                Trimmed(line.substr(0, separator)) == key) {
                if (!set)
                    result += key + "=" + value + "\n";
                set = true;
            } else if (!lastLine || !raw.empty()) {
                result += raw + "\n";
            }
            start = end + 1;
        }
        if (!set)
            result += key + "=" + value + "\n";
        text = result;
    }
};

class Completion {
public:
    explicit Completion(const std::string& folder, const std::vector<MemberReport>& members)
        : base_(platform::WithTrailingSlash(folder))
    {
        for (const char* name : {kScript, kProperties, kData, kBackup})
            states_[name] = StateOf(base_, name, members);
    }

    std::vector<DatabaseCompletion> Run()
    {
        if (DetectEmbeddedDatabase(base_) != EmbeddedDatabase::Hsqldb)
            return done_;
        bool any = false;
        for (const auto& [name, state] : states_)
            any = any || state != MemberState::Missing;
        if (!any)
            return done_;

        const bool scriptHit = states_[kScript] == MemberState::Truncated || states_[kScript] == MemberState::Damaged;
        bool rowsUnreachable = false;
        bool noTable = false;
        if (scriptHit)
            rowsUnreachable = CheckScript(noTable);
        if ((states_[kScript] == MemberState::Missing || noTable) &&
            (states_[kData] != MemberState::Missing || states_[kBackup] != MemberState::Missing)) {
            // The tables were defined in the script: only their rows can come back.
            HsqldbScriptRecoveryInput input;
            input.base = base_;
            input.dataPresent = states_[kData] != MemberState::Missing;
            input.dataWhole = states_[kData] == MemberState::Whole;
            input.backupPresent = states_[kBackup] != MemberState::Missing;
            input.backupWhole = states_[kBackup] == MemberState::Whole;
            const auto rebuilt = RecoverHsqldbScript(input);
            done_.insert(done_.end(), rebuilt.begin(), rebuilt.end());
            if (!noTable || rebuilt.empty() || rebuilt.front().action == "script-rebuilt")
                return done_;
        }

        const MemberState data = states_[kData];
        const bool backupWhole = states_[kBackup] == MemberState::Whole;
        const bool restore = data != MemberState::Whole && backupWhole;
        CompleteProperties(restore);
        if (!restore && (data == MemberState::Truncated || data == MemberState::Damaged) && !CarveRows(data))
            MendData(data);
        else if (!restore && data == MemberState::Whole && rowsUnreachable)
            CarveRows(data);
        if (scriptHit)
            CompleteScript();
        return done_;
    }

private:
    void Add(const char* action, const std::string& member, const std::string& detail, bool rowsMayBeLost)
    {
        done_.push_back(DatabaseCompletion{action, member, detail, rowsMayBeLost});
    }

    void Failed(const std::string& member, const std::string& what, const std::string& error)
    {
        Add("failed", member, member + " " + what + " could not be written (" + error + ")", true);
    }

    static const char* DataCondition(MemberState data)
    {
        switch (data) {
        case MemberState::Missing: return "was not recovered";
        case MemberState::Truncated: return "was recovered only in part";
        case MemberState::Damaged: return "does not match its CRC-32";
        case MemberState::Whole: break;
        }
        return "is whole";
    }

    void CompleteProperties(bool restore)
    {
        const MemberState data = states_[kData];
        const std::string path = base_ + kProperties;
        if (states_[kProperties] == MemberState::Missing) {
            // HSQLDB opens a database without properties, with every row, so a new one is
            // written only to ask for the restore. Without a script nothing connects at all.
            if (!restore || states_[kScript] == MemberState::Missing)
                return;
            PropertiesText fresh;
            fresh.text = "version=1.8.0\nmodified=yes\n";
            std::string error;
            if (!ReplaceFile(path, fresh.text, error)) {
                Failed(kProperties, "a new", error);
                return;
            }
            Add("properties-written", kProperties, std::string(kProperties) + " was not recovered, a new one is written",
                false);
            Add("restore-from-backup", kData,
                std::string(kData) + " " + DataCondition(data) + ", HSQLDB rebuilds it from " + kBackup + " (modified=yes)",
                false);
            return;
        }

        PropertiesText properties;
        std::string error;
        if (!ReadWhole(path, properties.text, kLargestProperties, error)) {
            Failed(kProperties, "a changed", error);
            return;
        }
        const std::optional<std::string> modified = properties.Value("modified");
        std::string wanted;
        std::string action;
        std::string detail;
        bool rowsMayBeLost = false;
        if (restore) {
            if (modified == std::optional<std::string>("yes")) {
                Add("restore-from-backup", kData,
                    std::string(kData) + " " + DataCondition(data) + ", HSQLDB rebuilds it from " + kBackup + " (" +
                        kProperties + " already says modified=yes)",
                    false);
                return;
            }
            wanted = "yes";
            action = "restore-from-backup";
            detail = std::string(kData) + " " + DataCondition(data) + ", HSQLDB rebuilds it from " + kBackup +
                     " (modified=yes)";
        } else if (modified == std::optional<std::string>("yes") && states_[kBackup] != MemberState::Whole &&
                   data != MemberState::Missing) {
            // HSQLDB would drop data to restore a backup that is not there (or not whole).
            wanted = "no";
            action = "modified-cleared";
            detail = std::string(kProperties) + " said modified=yes but " + kBackup +
                     (states_[kBackup] == MemberState::Missing ? " was not recovered" : " is not whole") +
                     ", set to modified=no so that " + kData + " is used as it is";
            rowsMayBeLost = ::access((base_ + "database/log").c_str(), F_OK) == 0;
            if (rowsMayBeLost)
                detail += " (changes held in database/log may not be replayed)";
        } else {
            return;
        }
        properties.Set("modified", wanted);
        if (!ReplaceFile(path, properties.text, error)) {
            Failed(kProperties, "a changed", error);
            return;
        }
        Add(action.c_str(), action == "restore-from-backup" ? kData : kProperties, detail, rowsMayBeLost);
    }

    // Drops the statements of a damaged script HSQLDB could not run; true when a CACHED
    // table lost the line that roots its rows in data (they are then carved).
    bool CheckScript(bool& noTable)
    {
        const HsqldbScriptCheckResult check = HsqldbScriptCheck::Run(base_ + kScript);
        if (!check.ok) {
            Failed(kScript, "a checked", check.error);
            return false;
        }
        noTable = check.tables == 0;
        if (check.dropped == 0)
            return false;
        unrooted_.clear();
        for (const std::string& table : check.cachedWithoutIndex)
            unrooted_ += (unrooted_.empty() ? "" : ", ") + table;
        DatabaseCompletion completion{"script-lines-dropped", kScript,
                                      std::string(kScript) + " " +
                                          (states_[kScript] == MemberState::Damaged ? "does not match its CRC-32"
                                                                                    : "was cut") +
                                          ": " + std::to_string(check.dropped) +
                                          " lines HSQLDB could not run are dropped, " + std::to_string(check.kept) +
                                          " are kept",
                                      true};
        completion.rowsDropped = check.dropped;
        done_.push_back(completion);
        return !check.cachedWithoutIndex.empty();
    }

    bool CarveRows(MemberState data)
    {
        HsqldbScriptRecoveryInput input;
        input.base = base_;
        input.dataPresent = true;
        input.dataWhole = data == MemberState::Whole;
        input.backupPresent = states_[kBackup] != MemberState::Missing;
        const std::string condition =
            data == MemberState::Whole
                ? std::string("is whole but ") + kScript + " lost the lines that root the rows of " + unrooted_
                : std::string(DataCondition(data)) + " and no whole " + kBackup + " can stand in for it";
        const auto carved = RecoverHsqldbRows(input, condition);
        done_.insert(done_.end(), carved.begin(), carved.end());
        return !carved.empty();
    }

    void MendData(MemberState data)
    {
        const std::string path = base_ + kData;
        std::vector<unsigned char> bytes;
        std::string error;
        if (!ReadWhole(path, bytes, kLargestMendedData, error)) {
            if (error == kTooLarge)
                Add("data-kept", kData,
                    std::string(kData) + " " + DataCondition(data) + " and no whole " + kBackup +
                        " can stand in for it: it is larger than the " + std::to_string(kLargestMendedData >> 20) +
                        " MB that can be mended in memory, so it is kept as it is and LibreOffice may not open it",
                    true);
            else
                Failed(kData, "a mended", error);
            return;
        }
        const std::string nothing = std::string(kData) + " " + DataCondition(data) + " and no whole " + kBackup +
                                    " can stand in for it";
        const HsqldbDataMending mending = HsqldbDataFile::Mend(bytes);
        switch (mending.result) {
        case HsqldbDataMending::Result::TooShort:
            if (::unlink(path.c_str()) != 0) {
                Failed(kData, "a mended", platform::SystemErrorText(errno));
                return;
            }
            Add("data-left-out", kData, nothing + ": it is shorter than its header, holds no row and is left out", true);
            return;
        case HsqldbDataMending::Result::Unknown:
            Add("data-kept", kData,
                nothing + ": its bytes do not read as the rows of an HSQLDB data file, so its " +
                    std::to_string(mending.finalSize) + " bytes are kept as they are and LibreOffice may not open it",
                true);
            return;
        case HsqldbDataMending::Result::Sound:
            Add("data-kept", kData,
                nothing + ": its " + std::to_string(mending.finalSize) + " bytes are kept as they are, " +
                    (data == MemberState::Truncated ? "the rows stored past them are lost"
                                                    : "some values in its rows may be wrong"),
                true);
            return;
        case HsqldbDataMending::Result::Mended: break;
        }
        if (!ReplaceFile(path, bytes.data(), bytes.size(), error)) {
            Failed(kData, "a mended", error);
            return;
        }
        std::string what;
        if (mending.zeroedBytes > 0)
            what = std::to_string(mending.zeroedBytes) + " bytes of broken rows are cleared";
        if (mending.cutBytes > 0)
            what += (what.empty() ? "" : " and ") + std::to_string(mending.cutBytes) + " bytes cut from its end";
        Add("data-mended", kData,
            nothing + ": " + what + " so that HSQLDB can open it, the rows they held are lost", true);
    }

    void CompleteScript()
    {
        // Read and written a line at a time: a script of any size costs one line.
        const std::string path = base_ + kScript;
        LineFileReader reader(path);
        if (!reader.IsOpen()) {
            Failed(kScript, "a completed", platform::SystemErrorText(errno));
            return;
        }
        std::string error;
        // A statement is one line; a line without its end is a statement cut short,
        // which fails the whole connection.
        bool hasUser = false, hasGrant = false;
        std::size_t cut = 0;
        std::string line;
        for (;;) {
            const LineFileReader::Result result = reader.Next(line);
            if (result == LineFileReader::Result::Line) {
                const std::string statement = Trimmed(line);
                hasUser = hasUser || statement == kCreateUser;
                hasGrant = hasGrant || statement == kGrantDba;
                continue;
            }
            if (result == LineFileReader::Result::LastPart)
                cut = line.size();
            if (result == LineFileReader::Result::TooLong || result == LineFileReader::Result::Failed) {
                Failed(kScript, "a completed",
                       result == LineFileReader::Result::TooLong ? "a line of it is too long" : platform::SystemErrorText(errno));
                return;
            }
            break;
        }
        std::string added;
        if (!hasUser)
            added = kCreateUser;
        if (!hasGrant)
            added += (added.empty() ? "" : ", ") + std::string(kGrantDba);
        if (added.empty() && cut == 0)
            return;
        const std::string newline = reader.SawCrLf() ? "\r\n" : "\n";
        if (!CopyScriptLines(path, newline, !hasUser, !hasGrant, error)) {
            Failed(kScript, "a completed", error);
            return;
        }
        std::string detail = std::string(kScript) + " was cut";
        if (cut > 0)
            detail += ", its last " + std::to_string(cut) + " bytes (a statement cut short) are dropped";
        if (!added.empty())
            detail += ", the statements LibreOffice needs to connect are added: " + added;
        Add("script-completed", kScript, detail, false);
    }

    // The whole lines of the script, then the user lines asked for, written atomically.
    static bool CopyScriptLines(const std::string& path, const std::string& newline, bool addUser, bool addGrant,
                                std::string& error)
    {
        LineFileReader reader(path);
        if (!reader.IsOpen()) {
            error = platform::SystemErrorText(errno);
            return false;
        }
        platform::AtomicFileWriter out(path, 0644);
        std::string text;
        std::string line;
        LineFileReader::Result result;
        // HSQLDB reads the statements before the first INSERT as the definitions and
        // ignores any that come after the rows: the user lines go before them.
        auto addUserLines = [&] {
            if (addUser)
                text += kCreateUser + newline;
            if (addGrant)
                text += kGrantDba + newline;
            addUser = addGrant = false;
        };
        while ((result = reader.Next(line)) == LineFileReader::Result::Line) {
            if (line.rfind("INSERT INTO ", 0) == 0)
                addUserLines();
            text += line + newline;
            if (text.size() >= (1u << 20)) {
                out.Write(text.data(), text.size());
                text.clear();
            }
        }
        if (result == LineFileReader::Result::Failed || result == LineFileReader::Result::TooLong) {
            error = result == LineFileReader::Result::TooLong ? "a line of it is too long"
                                                              : platform::SystemErrorText(errno);
            return false;
        }
        addUserLines();
        if (out.Write(text.data(), text.size()) && out.Commit())
            return true;
        error = platform::SystemErrorText(out.Error());
        return false;
    }

    std::string base_;
    std::string unrooted_; // CACHED tables whose index line the script lost
    std::map<std::string, MemberState> states_;
    std::vector<DatabaseCompletion> done_;
};

} // namespace

bool CompletionReadsMember(const std::string& path)
{
    return path == kScript || path == kProperties || path == kData || path == kBackup;
}

std::vector<DatabaseCompletion> CompleteHsqldb(const std::string& folder, const std::vector<MemberReport>& members)
{
    return Completion(folder, members).Run();
}

std::string CompletionLogText(const DatabaseCompletion& completion)
{
    return completion.detail + "....\r\n";
}

} // namespace tavrin
