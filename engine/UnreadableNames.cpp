#include "engine/UnreadableNames.h"

#include <sys/stat.h>

#include <cstdio>
#include <unordered_map>
#include <unordered_set>

#include "engine/TextUtil.h"
#include "engine/XmlText.h"
#include "platform/FolderEntries.h"

namespace tavrin {

namespace {

// A file name holds at most 255 bytes; a renamed one is kept well below, with room
// for a "~N" that makes it unique.
constexpr std::size_t kMaxReadableLength = 240;

bool Exists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// The names of one folder and, per readable name, the next "~N" to try: each rename
// finds a free name in a step or two whatever the number of names that collide.
class FolderNames {
public:
    explicit FolderNames(const std::vector<platform::FolderEntry>& entries)
    {
        for (const platform::FolderEntry& entry : entries)
            taken_.insert(entry.name);
    }

    std::string Free(const std::string& readable)
    {
        if (taken_.insert(readable).second)
            return readable;
        int& next = nextSuffix_.try_emplace(readable, 2).first->second;
        for (;; ++next) {
            std::string candidate = readable + "~" + std::to_string(next);
            if (taken_.insert(candidate).second) {
                ++next;
                return candidate;
            }
        }
    }

private:
    std::unordered_set<std::string> taken_;
    std::unordered_map<std::string, int> nextSuffix_;
};

void Walk(const std::string& folder, const std::string& relative, NameRenaming& renaming)
{
    std::vector<platform::FolderEntry> entries;
    platform::ListFolderEntries(folder + relative, entries);
    FolderNames names(entries);
    for (const auto& [name, kind] : entries) {
        const std::string readable = ReadableName(name);
        std::string current = name;
        if (readable != name) {
            const std::string target = names.Free(readable);
            const bool renamed = !Exists(folder + relative + target) &&
                                 std::rename((folder + relative + name).c_str(), (folder + relative + target).c_str()) == 0;
            if (renamed) {
                current = target;
                if (renaming.listed.size() < NameRenaming::kMaxListed)
                    renaming.listed.push_back({relative + name, relative + target});
                else
                    ++renaming.notListed;
            } else if (renaming.failed.size() < NameRenaming::kMaxListed) {
                renaming.failed.push_back(relative + name);
            }
        }
        if (kind == platform::FolderEntry::Folder)
            Walk(folder, relative + current + "/", renaming);
    }
}

} // namespace

std::string ReadableName(const std::string& name)
{
    if (IsNameText(name))
        return name;
    std::string readable;
    for (std::size_t i = 0; i < name.size();) {
        unsigned long code = 0;
        const std::size_t length = Utf8SequenceAt(name, i, &code);
        if (length > 0 && IsNameCharacter(code) && code != '%') {
            if (readable.size() + length > kMaxReadableLength)
                break;
            readable.append(name, i, length);
            i += length;
            continue;
        }
        // A byte that is no part of a name character, on its own.
        if (readable.size() + 3 > kMaxReadableLength)
            break;
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned>(static_cast<unsigned char>(name[i])));
        readable += escaped;
        ++i;
    }
    return readable;
}

std::string ReadablePath(const std::string& relative)
{
    std::string readable;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = relative.find('/', start);
        readable += ReadableName(relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos)
            return readable;
        readable += '/';
        start = slash + 1;
    }
}

NameRenaming RenameUnreadableNames(const std::string& folder)
{
    NameRenaming renaming;
    std::string base = folder;
    if (base.empty() || base.back() != '/')
        base += '/';
    Walk(base, "", renaming);
    return renaming;
}

LogLines RenamingLogLines(const std::string& packagePath, const NameRenaming& renaming)
{
    LogLines lines;
    for (const RenamedName& renamed : renaming.listed)
        lines.push_back({packagePath + " the name " + PrintableName(renamed.from) +
                             " cannot be read by LibreOffice (it would refuse the whole package), it is saved as " +
                             renamed.to + "....\r\n",
                         kBlack});
    if (renaming.notListed > 0)
        lines.push_back({packagePath + " " + std::to_string(renaming.notListed) +
                             " more names LibreOffice cannot read are saved the same way....\r\n",
                         kBlack});
    for (const std::string& failed : renaming.failed)
        lines.push_back({packagePath + " the name " + PrintableName(failed) +
                             " cannot be read by LibreOffice and could not be changed, LibreOffice may refuse the "
                             "package....\r\n",
                         kRed});
    return lines;
}

} // namespace tavrin
