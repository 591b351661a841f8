// META-INF/manifest.xml of a package folder, made to list every member the folder
// holds. LibreOffice refuses a package without a readable manifest, and one holding a
// stream its manifest does not list, so a repair that lost the manifest, recovered a
// broken one, or recovered members the manifest does not name writes a new one.
#pragma once

#include <string>
#include <vector>

namespace tavrin {

enum class ManifestAction {
    KeptExisting,   // the recovered manifest parses and lists every member
    WroteMissing,   // there was no manifest
    WroteUnreadable,// the recovered manifest does not parse
    WroteIncomplete,// the recovered manifest left members out
    Failed,         // a new manifest was needed but could not be written
};

struct ManifestEntry {
    std::string fullPath;  // UTF-8, '/' between levels; "/" is the package itself
    std::string mediaType;
    std::string version;   // only the root entry carries one
    // Where the entry's element stands in the text it was read from, its children
    // (encryption data) included: [begin, end). Both 0 for an entry made here.
    std::size_t begin = 0;
    std::size_t end = 0;
};

struct ManifestReading {
    bool parsed = false;
    std::vector<ManifestEntry> entries;
    // The root element's prefix ("manifest" as LibreOffice writes it), and where its
    // end tag starts; npos when the root is an empty element.
    std::string rootPrefix;
    std::size_t rootEndTag = std::string::npos;
};

// Reads the file entries of a manifest. `parsed` is false unless the text is
// well-formed XML whose root element is a manifest.
ManifestReading ReadManifest(const std::string& xml);

// The media type a manifest gives a member of this name when nothing better is known:
// XML as text/xml, pictures by their type, everything else (database files) empty.
std::string DefaultMediaType(const std::string& memberName);

// The manifest text for `entries`, in the order given.
std::string ManifestXml(const std::vector<ManifestEntry>& entries);

// Checks the manifest of the package folder against the files in it and writes a new
// one when needed: the root entry, every file (mimetype and the manifest itself
// excepted) with the media type the old manifest gave it or else the default, and the
// folder of every embedded form or report document. A manifest that parses keeps every
// entry whose file or folder is there exactly as it was written (sizes, encryption
// data and all): only entries of what is gone are dropped and entries of what it left
// out added. The new file replaces the old only when it is complete.
ManifestAction RepairManifest(const std::string& folder);

// The text of the log line for an action that wrote a manifest; empty for the others.
std::string ManifestLogText(ManifestAction action);

// Writes the `mimetype` file of a database document when the package lost its own, so
// the rebuilt package is still recognised as one. True when it was written; an existing
// mimetype (even an odd one) is left alone.
bool WriteMissingMimetype(const std::string& folder);

} // namespace tavrin
