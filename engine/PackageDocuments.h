// The form and report documents a package folder holds. Each is a storage of its own,
// forms/<name>/ or reports/<name>/ with the document's content.xml in it, and only the
// package's content.xml names them to the database document: when that descriptor is
// lost, the documents are still in the package but LibreOffice no longer shows them.
// Listing them in the new descriptor gives them back.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tavrin {

enum class DocumentKind { Form, Report };

struct PackageDocument {
    DocumentKind kind = DocumentKind::Form;
    std::string folder;          // relative to the package folder, UTF-8: "forms/Obj11"
    std::string name;            // the name the database document shows, UTF-8
    bool nameFromTitle = false;  // from the document's own meta.xml; else its folder's name
};

// The documents of the package folder: forms, then reports, each in the natural order
// of their folder names (Obj2 before Obj11). A folder counts when it holds a content.xml;
// one whose name XML cannot carry is left out. Each is named by the title in its
// meta.xml when that is a usable name not taken yet, otherwise by its folder's name,
// so names stay unique within forms and within reports.
std::vector<PackageDocument> FindPackageDocuments(const std::string& packageFolder);

// The db:forms and db:reports elements that name `documents`, one component per line,
// indented to stand inside office:database of the content.xml template; empty for none.
std::string DocumentListingXml(const std::vector<PackageDocument>& documents);

// The documents for a log line: form "Entry form" (forms/Obj11), report ...; past
// kMaxDescribedDocuments only their number, so the line stays one a user reads.
inline constexpr std::size_t kMaxDescribedDocuments = 20;
std::string DescribeDocuments(const std::vector<PackageDocument>& documents);

const char* ToString(DocumentKind kind);

} // namespace tavrin
