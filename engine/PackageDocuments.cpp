#include "engine/PackageDocuments.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "engine/TextUtil.h"
#include "engine/XmlText.h"
#include "platform/FileIo.h"
#include "platform/FolderEntries.h"

namespace tavrin {
namespace {

// A meta.xml larger than this is not the small record a document keeps; its title is not read.
constexpr std::size_t kMaxMetaSize = std::size_t{1} << 20;
// A title longer than this is no name a user gave; the folder's name is used instead.
constexpr std::size_t kMaxTitleSize = 256;

struct KindFolder {
    DocumentKind kind;
    const char* folder;
};
constexpr KindFolder kKinds[] = {{DocumentKind::Form, "forms"}, {DocumentKind::Report, "reports"}};

bool IsRegularFile(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Sub-folders of `folder` (symbolic links not followed), raw names.
std::vector<std::string> SubFolders(const std::string& folder)
{
    std::vector<platform::FolderEntry> entries;
    platform::ListFolderEntries(folder, entries);
    std::vector<std::string> names;
    for (platform::FolderEntry& entry : entries)
        if (entry.kind == platform::FolderEntry::Folder)
            names.push_back(std::move(entry.name));
    return names;
}

// The folder's name as the manifest spells it: UTF-8 as it stands, any other bytes
// one character each. Empty when XML cannot carry it.
std::string FolderNameText(const std::string& raw)
{
    const std::string text = IsValidUtf8(raw) ? raw : Latin1ToUtf8(raw);
    return IsNameText(text) ? text : std::string();
}


std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The document's title from its meta.xml: the text of dc:title, when it is plain text
// that makes a usable name. A '/' would make LibreOffice take the name for a path into
// a sub-folder of forms, so such a title is not used either.
std::string TitleFromMeta(const std::string& documentFolder)
{
    std::string meta;
    if (platform::ReadWholeFile(documentFolder + "/meta.xml", meta, kMaxMetaSize) != platform::FileReadResult::Read)
        return {};
    const std::string open = "<dc:title>";
    const auto start = meta.find(open);
    if (start == std::string::npos)
        return {};
    const auto end = meta.find("</dc:title>", start + open.size());
    if (end == std::string::npos)
        return {};
    const std::string_view raw = std::string_view(meta).substr(start + open.size(), end - start - open.size());
    std::string title;
    if (raw.find('<') != std::string_view::npos || !DecodeXmlEntities(raw, title))
        return {};
    title = Trimmed(title);
    if (title.empty() || title.size() > kMaxTitleSize || !IsNameText(title) ||
        title.find('/') != std::string::npos)
        return {};
    return title;
}

// Obj2 before Obj11: names compare by the text before their trailing digits, then by
// the number those digits make, then as they stand.
bool NaturalLess(const std::string& a, const std::string& b)
{
    auto split = [](const std::string& name) {
        std::size_t digits = name.size();
        while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9')
            --digits;
        std::size_t significant = digits;
        while (significant + 1 < name.size() && name[significant] == '0')
            ++significant;
        return std::make_pair(std::string_view(name).substr(0, digits), std::string_view(name).substr(significant));
    };
    const auto [prefixA, numberA] = split(a);
    const auto [prefixB, numberB] = split(b);
    if (prefixA != prefixB)
        return prefixA < prefixB;
    if (numberA.size() != numberB.size())
        return numberA.size() < numberB.size();
    if (numberA != numberB)
        return numberA < numberB;
    return a < b;
}

} // namespace

std::vector<PackageDocument> FindPackageDocuments(const std::string& packageFolder)
{
    std::string base = packageFolder;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    std::vector<PackageDocument> documents;
    for (const KindFolder& kind : kKinds) {
        const std::string kindFolder = base + "/" + kind.folder;
        std::vector<std::string> folders = SubFolders(kindFolder);
        std::sort(folders.begin(), folders.end(), NaturalLess);
        struct Found {
            std::string folderName;
            std::string title;
        };
        std::vector<Found> found;
        for (const std::string& raw : folders) {
            const std::string folderName = FolderNameText(raw);
            if (folderName.empty() || !IsRegularFile(kindFolder + "/" + raw + "/content.xml"))
                continue;
            found.push_back({folderName, TitleFromMeta(kindFolder + "/" + raw)});
        }
        // Folder names are unique; a title yields to a folder name it would clash with
        // and to an earlier document's title.
        std::set<std::string> taken;
        for (const Found& document : found) {
            if (document.title.empty())
                taken.insert(document.folderName);
        }
        for (const Found& document : found) {
            PackageDocument listed;
            listed.kind = kind.kind;
            listed.folder = std::string(kind.folder) + "/" + document.folderName;
            listed.nameFromTitle = !document.title.empty() && taken.insert(document.title).second;
            listed.name = listed.nameFromTitle ? document.title : document.folderName;
            if (!listed.nameFromTitle && !document.title.empty()) {
                // Its own folder name may have been claimed as another document's title.
                for (int suffix = 2; !taken.insert(listed.name).second; ++suffix)
                    listed.name = document.folderName + " (" + std::to_string(suffix) + ")";
            }
            documents.push_back(std::move(listed));
        }
    }
    return documents;
}

std::string DocumentListingXml(const std::vector<PackageDocument>& documents)
{
    std::string xml;
    for (const KindFolder& kind : kKinds) {
        std::string components;
        for (const PackageDocument& document : documents) {
            if (document.kind != kind.kind)
                continue;
            components += "    <db:component db:name=\"" + EscapeXmlAttribute(document.name) + "\" xlink:href=\"" +
                          EscapeXmlAttribute(document.folder) +
                          "\" xlink:type=\"simple\" db:as-template=\"false\"/>\n";
        }
        if (!components.empty())
            xml += std::string("   <db:") + kind.folder + ">\n" + components + "   </db:" + kind.folder + ">\n";
    }
    return xml;
}

std::string DescribeDocuments(const std::vector<PackageDocument>& documents)
{
    std::string text;
    const std::size_t shown = std::min(documents.size(), kMaxDescribedDocuments);
    for (std::size_t i = 0; i < shown; ++i) {
        const PackageDocument& document = documents[i];
        if (!text.empty())
            text += ", ";
        text += std::string(ToString(document.kind)) + " \"" + document.name + "\" (" + document.folder + ")";
    }
    if (shown < documents.size())
        text += " and " + std::to_string(documents.size() - shown) + " more";
    return text;
}

const char* ToString(DocumentKind kind)
{
    return kind == DocumentKind::Report ? "report" : "form";
}

} // namespace tavrin
