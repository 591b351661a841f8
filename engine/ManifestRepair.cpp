#include "engine/ManifestRepair.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <map>
#include <memory>
#include <set>

#include "engine/HeldFolder.h"
#include "engine/TextUtil.h"
#include "engine/XmlScanner.h"
#include "engine/XmlText.h"
#include "platform/AtomicFileWriter.h"
#include "platform/FileIo.h"
#include "platform/FolderEntries.h"

namespace tavrin {
namespace {

constexpr const char* kManifestName = "META-INF/manifest.xml";
constexpr const char* kDatabaseMediaType = "application/vnd.oasis.opendocument.base";
constexpr const char* kTextDocumentMediaType = "application/vnd.oasis.opendocument.text";
constexpr const char* kDefaultVersion = "1.2";
// A manifest bigger than this is not one LibreOffice wrote; it is treated as unreadable.
constexpr std::size_t kMaxManifestSize = 16u << 20;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Collects the file entries of a manifest with where each element stands, children
// included, and turns away a document whose root is no manifest.
class ManifestListener : public XmlListener {
public:
    explicit ManifestListener(ManifestReading& reading) : reading_(reading) {}

    bool Start(std::string_view name, const std::map<std::string, std::string>& attributes, std::size_t begin,
               std::size_t end, bool empty) override
    {
        if (open_.empty() && !rootSeen_) {
            if (XmlLocalName(name) != "manifest")
                return false;
            rootSeen_ = true;
            rootEmpty_ = empty;
            reading_.rootPrefix = std::string(name.substr(0, name.size() - XmlLocalName(name).size()));
            if (!reading_.rootPrefix.empty())
                reading_.rootPrefix.pop_back(); // the colon
        }
        long index = -1;
        if (XmlLocalName(name) == "file-entry") {
            ManifestEntry entry;
            for (const auto& [key, value] : attributes) {
                const std::string_view local = XmlLocalName(key);
                if (local == "full-path") entry.fullPath = value;
                else if (local == "media-type") entry.mediaType = value;
                else if (local == "version") entry.version = value;
            }
            entry.begin = begin;
            entry.end = end;
            if (!entry.fullPath.empty()) {
                index = static_cast<long>(reading_.entries.size());
                reading_.entries.push_back(std::move(entry));
            }
        }
        open_.push_back(index);
        return true;
    }

    void End(std::size_t begin, std::size_t end) override
    {
        if (open_.back() >= 0)
            reading_.entries[static_cast<std::size_t>(open_.back())].end = end;
        open_.pop_back();
        if (open_.empty() && !rootEmpty_)
            reading_.rootEndTag = begin;
    }

private:
    ManifestReading& reading_;
    std::vector<long> open_; // per open element, the index of its file entry or -1
    bool rootSeen_ = false;
    bool rootEmpty_ = false;
};

// Names are the bytes on disk; LibreOffice writes them as UTF-8, anything else is
// taken one character per byte.
std::string ManifestPath(const std::string& bytes)
{
    return IsValidUtf8(bytes) ? bytes : Latin1ToUtf8(bytes);
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Regular files below `folder` (symbolic links are not followed), relative names in
// byte order, and the relative names of the folders met on the way (with a trailing '/').
void ListTree(const std::string& folder, const std::string& prefix, std::vector<std::string>& files,
              std::set<std::string>& folders)
{
    std::vector<platform::FolderEntry> entries;
    platform::ListFolderEntries(folder + "/" + prefix, entries);
    for (const auto& [name, kind] : entries) {
        if (kind == platform::FolderEntry::Folder) {
            folders.insert(prefix + name + "/");
            ListTree(folder, prefix + name + "/", files, folders);
        } else if (kind == platform::FolderEntry::File) {
            files.push_back(prefix + name);
        }
    }
}


bool WriteReplacing(const std::string& path, const std::string& text)
{
    platform::AtomicFileWriter file(path, 0644);
    return file.Write(text.data(), text.size()) && file.Commit();
}

std::string EntryElement(const ManifestEntry& entry, const std::string& prefix)
{
    // An entry added to a manifest whose root uses another prefix declares its own.
    const bool ownPrefix = prefix == "manifest";
    std::string xml = " <manifest:file-entry";
    if (!ownPrefix)
        xml += " xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\"";
    xml += " manifest:full-path=\"" + EscapeXmlAttribute(entry.fullPath) + "\"";
    if (!entry.version.empty())
        xml += " manifest:version=\"" + EscapeXmlAttribute(entry.version) + "\"";
    xml += " manifest:media-type=\"" + EscapeXmlAttribute(entry.mediaType) + "\"/>\n";
    return xml;
}

// The manifest `text` (as read into `reading`) with the entries at `dropped` taken out,
// each with the white space that led up to it, and `added` put before the root's end tag.
std::string EditedManifest(const std::string& text, const ManifestReading& reading, const std::vector<bool>& dropped,
                           const std::vector<ManifestEntry>& added)
{
    std::string result;
    std::size_t copied = 0;
    for (std::size_t i = 0; i < reading.entries.size(); ++i) {
        if (!dropped[i])
            continue;
        const ManifestEntry& entry = reading.entries[i];
        std::size_t begin = entry.begin;
        while (begin > copied && IsSpace(text[begin - 1]))
            --begin;
        result.append(text, copied, begin - copied);
        copied = entry.end;
    }
    std::size_t rootEnd = reading.rootEndTag;
    result.append(text, copied, rootEnd - copied);
    if (!added.empty() && (result.empty() || result.back() != '\n'))
        result += '\n';
    for (const ManifestEntry& entry : added)
        result += EntryElement(entry, reading.rootPrefix);
    result.append(text, rootEnd, std::string::npos);
    return result;
}

bool IsEmbeddedDocumentFolder(const std::string& sub, const std::vector<std::string>& files)
{
    return (sub.rfind("forms/", 0) == 0 || sub.rfind("reports/", 0) == 0) &&
           std::count(sub.begin(), sub.end(), '/') == 2 &&
           std::find(files.begin(), files.end(), sub + "content.xml") != files.end();
}

bool WriteManifest(const std::string& base, const std::string& xml)
{
    const std::string manifestPath = base + "/" + kManifestName;
    const std::string metaInf = base + "/META-INF";
    struct stat info {};
    if (::lstat(manifestPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && ::rmdir(manifestPath.c_str()) != 0)
        return false;
    if (::mkdir(metaInf.c_str(), 0755) != 0 && errno != EEXIST)
        return false;
    return WriteReplacing(manifestPath, xml);
}

// The recovered manifest, which parses, with the entries of members and folders that
// are gone dropped and entries for what it left out added; every other byte stays.
std::string EditedManifestFor(const std::string& text, const ManifestReading& reading,
                              const std::vector<std::string>& files, const std::set<std::string>& folders)
{
    std::set<std::string> present;
    for (const std::string& file : files)
        present.insert(ManifestPath(file));
    for (const std::string& sub : folders)
        present.insert(ManifestPath(sub));
    std::vector<bool> dropped(reading.entries.size(), false);
    std::set<std::string> listed;
    std::string rootVersion = kDefaultVersion;
    for (std::size_t i = 0; i < reading.entries.size(); ++i) {
        const ManifestEntry& entry = reading.entries[i];
        if (entry.fullPath == "/" && !entry.version.empty())
            rootVersion = entry.version;
        dropped[i] = entry.fullPath != "/" && present.count(entry.fullPath) == 0;
        listed.insert(entry.fullPath);
    }
    std::vector<ManifestEntry> added;
    if (listed.count("/") == 0)
        added.push_back({"/", kDatabaseMediaType, rootVersion});
    for (const std::string& sub : folders) {
        if (listed.count(ManifestPath(sub)) == 0 && IsEmbeddedDocumentFolder(sub, files))
            added.push_back({ManifestPath(sub), kTextDocumentMediaType, rootVersion});
    }
    for (const std::string& file : files) {
        if (listed.count(ManifestPath(file)) == 0)
            added.push_back({ManifestPath(file), DefaultMediaType(file), {}});
    }
    return EditedManifest(text, reading, dropped, added);
}

} // namespace

ManifestReading ReadManifest(const std::string& xml)
{
    ManifestReading reading;
    ManifestListener listener(reading);
    reading.parsed = ScanXml(xml, &listener);
    if (!reading.parsed)
        reading = ManifestReading{};
    return reading;
}

std::string DefaultMediaType(const std::string& memberName)
{
    const auto slash = memberName.find_last_of('/');
    const std::string base = slash == std::string::npos ? memberName : memberName.substr(slash + 1);
    const auto dot = base.find_last_of('.');
    if (dot == std::string::npos || dot == 0)
        return {};
    static const std::map<std::string, std::string> byExtension = {
        {"xml", "text/xml"},   {"rdf", "application/rdf+xml"}, {"png", "image/png"},
        {"jpg", "image/jpeg"}, {"jpeg", "image/jpeg"},          {"gif", "image/gif"},
        {"bmp", "image/bmp"},  {"svg", "image/svg+xml"},        {"emf", "image/x-emf"},
        {"wmf", "image/x-wmf"}, {"tif", "image/tiff"},          {"tiff", "image/tiff"},
    };
    const auto found = byExtension.find(Lower(base.substr(dot + 1)));
    return found == byExtension.end() ? std::string() : found->second;
}

std::string ManifestXml(const std::vector<ManifestEntry>& entries)
{
    std::string version = kDefaultVersion;
    for (const ManifestEntry& entry : entries) {
        if (entry.fullPath == "/" && !entry.version.empty())
            version = entry.version;
    }
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\""
                      " manifest:version=\"" + EscapeXmlAttribute(version) + "\">\n";
    for (const ManifestEntry& entry : entries) {
        xml += " <manifest:file-entry manifest:full-path=\"" + EscapeXmlAttribute(entry.fullPath) + "\"";
        if (!entry.version.empty())
            xml += " manifest:version=\"" + EscapeXmlAttribute(entry.version) + "\"";
        xml += " manifest:media-type=\"" + EscapeXmlAttribute(entry.mediaType) + "\"/>\n";
    }
    xml += "</manifest:manifest>\n";
    return xml;
}

ManifestAction RepairManifest(const std::string& folder)
{
    std::string base = folder;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    std::vector<std::string> files;
    std::set<std::string> folders;
    ListTree(base, "", files, folders);
    // Members held in memory are the package's as much as the folder's files are.
    if (const std::shared_ptr<const HeldFolder> held = HeldFolder::Of(base); held != nullptr && !held->empty()) {
        for (const auto& [name, bytes] : held->files()) {
            files.push_back(name);
            for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
                folders.insert(name.substr(0, slash + 1));
        }
        std::sort(files.begin(), files.end(), zip::TreeOrder());
        files.erase(std::unique(files.begin(), files.end()), files.end());
    }
    files.erase(std::remove_if(files.begin(), files.end(),
                               [](const std::string& name) { return name == "mimetype" || name == kManifestName; }),
                files.end());

    const std::string manifestPath = base + "/" + kManifestName;
    std::string text;
    ManifestAction action = ManifestAction::KeptExisting;
    ManifestReading reading;
    struct stat info {};
    if (::lstat(manifestPath.c_str(), &info) != 0) {
        action = ManifestAction::WroteMissing;
    } else if (platform::ReadWholeFile(manifestPath, text, kMaxManifestSize) != platform::FileReadResult::Read || !(reading = ReadManifest(text)).parsed) {
        action = ManifestAction::WroteUnreadable;
    } else {
        std::set<std::string> listed;
        for (const ManifestEntry& entry : reading.entries)
            listed.insert(entry.fullPath);
        for (const std::string& file : files) {
            if (listed.count(ManifestPath(file)) == 0) {
                action = ManifestAction::WroteIncomplete;
                break;
            }
        }
    }
    if (action == ManifestAction::KeptExisting)
        return action;

    if (action == ManifestAction::WroteIncomplete && reading.rootEndTag != std::string::npos)
        return WriteManifest(base, EditedManifestFor(text, reading, files, folders)) ? action : ManifestAction::Failed;

    std::map<std::string, const ManifestEntry*> known;
    for (const ManifestEntry& entry : reading.entries)
        known.emplace(entry.fullPath, &entry);
    std::vector<ManifestEntry> entries;
    ManifestEntry root{"/", kDatabaseMediaType, kDefaultVersion};
    if (const auto found = known.find("/"); found != known.end() && !found->second->version.empty())
        root.version = found->second->version;
    entries.push_back(root);
    // Embedded form and report documents are storages of their own, which the manifest
    // names with their document type; without it their content is not found.
    for (const std::string& sub : folders) {
        const std::string path = ManifestPath(sub);
        if (const auto found = known.find(path); found != known.end()) {
            entries.push_back(*found->second);
            continue;
        }
        if (IsEmbeddedDocumentFolder(sub, files))
            entries.push_back({path, kTextDocumentMediaType, root.version});
    }
    for (const std::string& file : files) {
        const std::string path = ManifestPath(file);
        const auto found = known.find(path);
        entries.push_back({path, found != known.end() ? found->second->mediaType : DefaultMediaType(file), {}});
    }

    return WriteManifest(base, ManifestXml(entries)) ? action : ManifestAction::Failed;
}

bool WriteMissingMimetype(const std::string& folder)
{
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += "mimetype";
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 || errno != ENOENT)
        return false;
    return WriteReplacing(path, kDatabaseMediaType);
}

std::string ManifestLogText(ManifestAction action)
{
    switch (action) {
    case ManifestAction::WroteMissing:
        return "META-INF/manifest.xml was not recovered, a new one lists every recovered member....\r\n";
    case ManifestAction::WroteUnreadable:
        return "META-INF/manifest.xml does not parse, a new one lists every recovered member....\r\n";
    case ManifestAction::WroteIncomplete:
        return "META-INF/manifest.xml did not list every recovered member, a new one does....\r\n";
    case ManifestAction::Failed:
        return "META-INF/manifest.xml could not be written....\r\n";
    case ManifestAction::KeptExisting:
        break;
    }
    return {};
}

} // namespace tavrin
