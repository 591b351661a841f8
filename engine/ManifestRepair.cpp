#include "engine/ManifestRepair.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <map>
#include <set>

#include "engine/TextUtil.h"
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

bool IsNameChar(char c)
{
    return !IsSpace(c) && c != '/' && c != '>' && c != '=' && c != '<' && c != '"' && c != '\'' && c != '\0';
}

std::string_view LocalName(std::string_view qualified)
{
    const auto colon = qualified.find(':');
    return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

// A small well-formedness check of the kind of XML a manifest is: declarations,
// comments, a doctype before the root, nested elements with quoted attributes, text
// and CDATA. It collects the attributes of every file-entry element.
class ManifestScanner {
public:
    explicit ManifestScanner(std::string_view text) : text_(text) {}

    bool Scan(ManifestReading& reading)
    {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF")
            pos_ = 3;
        std::vector<std::string_view> open;
        bool rootSeen = false;
        while (pos_ < text_.size()) {
            if (text_[pos_] != '<') {
                const auto next = std::min(text_.find('<', pos_), text_.size());
                const std::string_view chunk = text_.substr(pos_, next - pos_);
                std::string decoded;
                if (!DecodeXmlEntities(chunk, decoded))
                    return false;
                if (open.empty() && !std::all_of(chunk.begin(), chunk.end(), IsSpace))
                    return false; // text outside the root element
                pos_ = next;
                continue;
            }
            const std::string_view rest = text_.substr(pos_);
            if (rest.substr(0, 2) == "<?") {
                if (!SkipPast("?>"))
                    return false;
            } else if (rest.substr(0, 4) == "<!--") {
                if (!SkipPast("-->"))
                    return false;
            } else if (rest.substr(0, 9) == "<![CDATA[") {
                if (open.empty() || !SkipPast("]]>"))
                    return false;
            } else if (rest.substr(0, 9) == "<!DOCTYPE") {
                if (rootSeen || !SkipDoctype())
                    return false;
            } else if (rest.substr(0, 2) == "</") {
                pos_ += 2;
                const std::string_view name = ReadName();
                SkipSpace();
                if (name.empty() || open.empty() || open.back() != name || !Expect('>'))
                    return false;
                open.pop_back();
            } else {
                if (rootSeen && open.empty())
                    return false; // a second root element
                ++pos_;
                const std::string_view name = ReadName();
                if (name.empty())
                    return false;
                if (!rootSeen && LocalName(name) != "manifest")
                    return false;
                rootSeen = true;
                std::map<std::string, std::string> attributes;
                bool empty = false;
                if (!ReadAttributes(attributes, empty))
                    return false;
                if (LocalName(name) == "file-entry") {
                    ManifestEntry entry;
                    for (const auto& [key, value] : attributes) {
                        const std::string_view local = LocalName(key);
                        if (local == "full-path") entry.fullPath = value;
                        else if (local == "media-type") entry.mediaType = value;
                        else if (local == "version") entry.version = value;
                    }
                    if (!entry.fullPath.empty())
                        reading.entries.push_back(std::move(entry));
                }
                if (!empty)
                    open.push_back(name);
            }
        }
        return rootSeen && open.empty();
    }

private:
    bool SkipPast(std::string_view marker)
    {
        const auto found = text_.find(marker, pos_);
        if (found == std::string_view::npos)
            return false;
        pos_ = found + marker.size();
        return true;
    }

    bool SkipDoctype()
    {
        const auto close = text_.find('>', pos_);
        const auto subset = text_.find('[', pos_);
        if (close == std::string_view::npos)
            return false;
        if (subset != std::string_view::npos && subset < close)
            return SkipPast("]>");
        pos_ = close + 1;
        return true;
    }

    void SkipSpace()
    {
        while (pos_ < text_.size() && IsSpace(text_[pos_]))
            ++pos_;
    }

    bool Expect(char c)
    {
        if (pos_ >= text_.size() || text_[pos_] != c)
            return false;
        ++pos_;
        return true;
    }

    std::string_view ReadName()
    {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && IsNameChar(text_[pos_]))
            ++pos_;
        return text_.substr(start, pos_ - start);
    }

    bool ReadAttributes(std::map<std::string, std::string>& attributes, bool& empty)
    {
        for (;;) {
            const std::size_t before = pos_;
            SkipSpace();
            if (pos_ >= text_.size())
                return false;
            if (text_[pos_] == '>') {
                ++pos_;
                return true;
            }
            if (text_.substr(pos_, 2) == "/>") {
                pos_ += 2;
                empty = true;
                return true;
            }
            if (pos_ == before)
                return false; // attributes must be separated by white space
            const std::string name(ReadName());
            SkipSpace();
            if (name.empty() || !Expect('='))
                return false;
            SkipSpace();
            if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\''))
                return false;
            const char quote = text_[pos_++];
            const auto close = text_.find(quote, pos_);
            if (close == std::string_view::npos)
                return false;
            const std::string_view raw = text_.substr(pos_, close - pos_);
            pos_ = close + 1;
            std::string value;
            if (raw.find('<') != std::string_view::npos || !DecodeXmlEntities(raw, value))
                return false;
            if (!attributes.emplace(name, std::move(value)).second)
                return false; // the same attribute twice
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
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

} // namespace

ManifestReading ReadManifest(const std::string& xml)
{
    ManifestReading reading;
    ManifestScanner scanner(xml);
    reading.parsed = scanner.Scan(reading);
    if (!reading.parsed)
        reading.entries.clear();
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
        const bool embedded = (sub.rfind("forms/", 0) == 0 || sub.rfind("reports/", 0) == 0)
            && std::count(sub.begin(), sub.end(), '/') == 2;
        if (embedded && std::find(files.begin(), files.end(), sub + "content.xml") != files.end())
            entries.push_back({path, kTextDocumentMediaType, root.version});
    }
    for (const std::string& file : files) {
        const std::string path = ManifestPath(file);
        const auto found = known.find(path);
        entries.push_back({path, found != known.end() ? found->second->mediaType : DefaultMediaType(file), {}});
    }

    const std::string metaInf = base + "/META-INF";
    if (::lstat(manifestPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && ::rmdir(manifestPath.c_str()) != 0)
        return ManifestAction::Failed;
    if (::mkdir(metaInf.c_str(), 0755) != 0 && errno != EEXIST)
        return ManifestAction::Failed;
    return WriteReplacing(manifestPath, ManifestXml(entries)) ? action : ManifestAction::Failed;
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
