// A folder of arbitrary files goes through the archive writer and comes back through
// our own reading (scanner and extraction, as a repair does it): every non-empty file
// must come back byte for byte under its own name (or, where that is no UTF-8 text,
// under the readable name the extraction saves it as), and nothing else may appear
// but the files a repair completes a package with (content.xml, manifest, mimetype).
//
// Input: records of [name length byte][name bytes][2-byte data length][data bytes];
// the last byte's lowest bit also puts a top-level mimetype first, and the one before
// it has the extraction hold small members in memory as a repair does (those then
// come back from there, and must not be in the folder too).
// Name bytes are mapped to the characters a member name can carry on this system
// ('/' separates folders; no NUL, ':' or '\', which the extraction treats specially;
// no control bytes, so no name can spell a header signature into the archive's
// central directory, which the raw scan would then take for a member).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <memory>
#include <string>

#include "engine/ContentXml.h"
#include "engine/HeldFolder.h"
#include "engine/MemberExtractor.h"
#include "engine/PackageScanner.h"
#include "engine/UnreadableNames.h"
#include "fuzz/FuzzTarget.h"
#include "fuzz/ScratchFolder.h"
#include "fuzz/SilentView.h"
#include "platform/FileIo.h"
#include "zip/FolderZipper.h"

using namespace tavrin;
using namespace tavrin::fuzz;

namespace {

char NameByte(std::uint8_t byte)
{
    if (byte % 11 == 0)
        return '/';
    if (byte < 0x20 || byte == 0x7F || byte == ':' || byte == '\\')
        return static_cast<char>('a' + byte % 26);
    return static_cast<char>(byte);
}

// Creates the folders of `relative` below `root` and the file itself; false when the
// name cannot be a file there (an empty or dot component, a clash with a file or folder).
bool CreateSourceFile(const std::string& root, const std::string& relative, const std::string& bytes)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = relative.find('/', start);
        const std::string component = relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (component.empty() || component == "." || component == ".." || component.size() > 255)
            return false;
        if (slash == std::string::npos)
            break;
        const std::string folder = root + "/" + relative.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        start = slash + 1;
    }
    const std::string path = root + "/" + relative;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    if (!platform::WriteFully(fd, bytes.data(), bytes.size()))
        FuzzFailure("cannot write a source file", path.c_str());
    ::close(fd);
    return true;
}

// False when a folder or file on the way to `relative` would be saved under the same
// readable path as another one already made; such a pair is told apart by a suffix,
// which a check name by name cannot follow.
bool ClaimReadablePaths(std::map<std::string, std::string>& claimed, const std::string& relative)
{
    std::vector<std::pair<std::string, std::string>> paths;
    for (std::size_t end = relative.find('/');; end = relative.find('/', end + 1)) {
        const std::string path = relative.substr(0, end);
        std::string readable = ReadablePath(path);
        const auto found = claimed.find(readable);
        if (found != claimed.end() && found->second != path)
            return false;
        paths.emplace_back(std::move(readable), path);
        if (end == std::string::npos)
            break;
    }
    claimed.insert(paths.begin(), paths.end());
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static ScratchFolder scratch;
    scratch.Empty();
    const std::string source = scratch / "source";
    const std::string archive = scratch / "rebuilt.odb";
    const std::string extracted = scratch / "extracted";
    ::mkdir(source.c_str(), 0700);
    ::mkdir(extracted.c_str(), 0700);

    std::map<std::string, std::string> files;
    std::map<std::string, std::string> claimed; // readable path -> the path it stands for
    std::size_t at = 0;
    while (at < size && files.size() < 32) {
        const std::size_t nameLength = 1u + data[at++] % 40;
        if (size - at < nameLength + 2)
            break;
        std::string name;
        for (std::size_t i = 0; i < nameLength; ++i)
            name += NameByte(data[at + i]);
        at += nameLength;
        const std::size_t dataLength = static_cast<std::size_t>(data[at] | data[at + 1] << 8) % 8192;
        at += 2;
        const std::string bytes(reinterpret_cast<const char*>(data + at), std::min(dataLength, size - at));
        at += bytes.size();
        // The extraction completes a short content.xml with its template by design.
        if (name == "content.xml")
            continue;
        if (ClaimReadablePaths(claimed, name) && CreateSourceFile(source, name, bytes))
            files[name] = bytes;
    }

    zip::FolderZipper zipper;
    // Half the inputs are archived the way the save batch does it: a top-level mimetype
    // first, stored and without an extra field.
    zipper.SetMimetypeFirst(size > 0 && (data[size - 1] & 1) != 0);
    const zip::ZipFolderResult zipped = zipper.ZipFolder(source, archive);
    if (!zipped.complete || !zipped.leftOut.empty())
        FuzzFailure("the archive of plain files was not written whole", zipped.error.c_str());

    ScanList entries;
    const int fd = ::open(archive.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0)
        FuzzFailure("cannot open the archive just written");
    // Archives here are at most a few hundred KiB: a 64 KiB block still makes headers
    // straddle block ends, without clearing the default megabyte for every input.
    PackageScanner(nullptr, std::size_t{1} << 16).Scan(fd, static_cast<std::uint64_t>(info.st_size), entries);
    ::close(fd);

    // The extraction steps of RepairPackage: members, readable names, content.xml.
    SilentView view;
    const bool hold = size > 1 && (data[size - 2] & 1) != 0;
    const std::shared_ptr<HeldFolder> held = hold ? HeldFolder::Start(extracted) : nullptr;
    if (ExtractMembers(extracted, archive, entries, ScannedPackage(), view, held.get()).anyMember) {
        RenameUnreadableNames(extracted);
        RegenerateContentXml(extracted);
    }

    std::map<std::string, std::string> readableFiles;
    for (const auto& [name, bytes] : files)
        readableFiles[ReadablePath(name)] = name;
    for (const auto& [name, bytes] : files) {
        const std::string path = extracted + "/" + ReadablePath(name);
        struct stat got {};
        if (bytes.empty()) {
            // Members with both sizes 0 are not listed by the scan.
            if (::lstat(path.c_str(), &got) == 0 && !(S_ISREG(got.st_mode) && got.st_size == 0))
                FuzzFailure("an empty file came back as something else", name.c_str());
            continue;
        }
        const auto inMemory = held != nullptr ? held->files().find(ReadablePath(name)) : zip::MemoryFiles::const_iterator();
        if (held != nullptr && inMemory != held->files().end()) {
            if (::lstat(path.c_str(), &got) == 0)
                FuzzFailure("a member held in memory is in the folder too", name.c_str());
            if (inMemory->second.Bytes() != bytes)
                FuzzFailure("a held member did not come back byte for byte", name.c_str());
            continue;
        }
        const std::vector<unsigned char> back = ReadWholeFile(path);
        if (std::string(back.begin(), back.end()) != bytes)
            FuzzFailure("a file did not come back byte for byte", name.c_str());
    }
    if (held != nullptr) {
        for (const auto& [name, file] : held->files())
            if (readableFiles.count(name) == 0)
                FuzzFailure("the extraction held a member that was not in the folder", name.c_str());
        HeldFolder::ForgetAt(extracted);
    }
    for (const TreeEntry& entry : TreeEntries(extracted)) {
        // Besides the folder's files only what a repair may complete a package with.
        if (entry.kind == TreeEntry::Folder || entry.path == "content.xml" || entry.path == "META-INF/manifest.xml" ||
            entry.path == "mimetype")
            continue;
        if (readableFiles.count(entry.path) == 0)
            FuzzFailure("the extraction made a file that was not in the folder", entry.path.c_str());
    }
    return 0;
}
