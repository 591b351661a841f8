#include "engine/ContentXml.h"
#include "engine/EmbeddedDatabase.h"
#include "engine/PackageDocuments.h"
#include "platform/AtomicFileWriter.h"
#include "platform/FileIo.h"
#include "platform/PathJoin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace tavrin {
namespace {

// One blank per level of nesting, '\n' between lines and none after the last; the
// office prefix is bound to the 2004 office vocabulary, as older Base versions wrote it.
constexpr std::string_view kTemplate =
    R"(<?xml version="1.0" encoding="UTF-8"?>

<office:document-content xmlns:office="http://openoffice.org/2004/office" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" xmlns:xlink="http://www.w3.org/1999/xlink" xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" xmlns:svg="http://www.w3.org/2000/svg" xmlns:ooo="http://openoffice.org/2004/office" xmlns:db="http://openoffice.org/2004/database" office:version="1.1">
 <office:font-face-decls/>
 <office:automatic-styles/>
 <office:body>
  <office:database>
   <db:data-source db:connection-resource="sdbc:embedded:hsqldb" db:suppress-version-columns="true">
    <db:login db:is-password-required="false"/>
    <db:table-filter>
     <db:table-filter-pattern>%</db:table-filter-pattern>
    </db:table-filter>
   </db:data-source>
  </office:database>
 </office:body>
</office:document-content>)";

static_assert(kTemplate.size() == kContentXmlTemplateSize, "the content.xml template must be 999 bytes");

// The template with the connection resource of the engine the folder embeds (a
// Firebird database described as HSQLDB opens as an empty database), naming the form
// and report documents the folder still holds: only this descriptor lists them, and
// without it LibreOffice shows none.
std::string TemplateFor(const std::string& folder, const std::vector<PackageDocument>& documents)
{
    std::string text(kTemplate);
    const EmbeddedDatabase database = DetectEmbeddedDatabase(folder);
    if (database != EmbeddedDatabase::Hsqldb) {
        const std::string_view hsqldb = ConnectionResource(EmbeddedDatabase::Hsqldb);
        text.replace(text.find(hsqldb), hsqldb.size(), ConnectionResource(database));
    }
    if (!documents.empty()) {
        constexpr std::string_view dataSourceEnd = "   </db:data-source>\n";
        text.insert(text.find(dataSourceEnd) + dataSourceEnd.size(), DocumentListingXml(documents));
    }
    return text;
}

} // namespace

std::string_view ContentXmlTemplate()
{
    return kTemplate;
}

ContentXmlAction RegenerateContentXml(const std::string& folder, std::vector<PackageDocument>* listed)
{
    const std::string path = platform::JoinPath(folder, "content.xml");

    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        // Only a regular file of full length is kept; anything else in its place (a
        // short piece, a folder left by a damaged name) gives way to the template.
        if (S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) >= kContentXmlTemplateSize)
            return ContentXmlAction::KeptExisting;
        if (S_ISDIR(info.st_mode)) {
            if (::rmdir(path.c_str()) != 0)
                return ContentXmlAction::Failed;
        }
    }

    // Written atomically, so a failure never leaves half a descriptor.
    platform::AtomicFileWriter file(path, 0644);
    if (!file.Open())
        return ContentXmlAction::Failed;
    std::vector<PackageDocument> documents = FindPackageDocuments(folder);
    const std::string text = TemplateFor(folder, documents);
    if (!file.Write(text.data(), text.size()) || !file.Commit())
        return ContentXmlAction::Failed;
    if (listed != nullptr)
        *listed = std::move(documents);
    return ContentXmlAction::WroteTemplate;
}

} // namespace tavrin
