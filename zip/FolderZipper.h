// Folder archiver: writes every file under one folder tree into a new ZIP archive,
// member names relative to the folder, in depth-first order with the entries of each
// folder sorted by name (byte order) so the same folder always gives the same archive.
#pragma once

#include <string>
#include <vector>

#include "ZipResult.h"

namespace tavrin::zip {

struct ZipFolderResult {
    // The archive was created, every header and the end record written, and the
    // finished file moved to the archive path.
    bool complete = false;
    // The first failure that stopped the archive (ZipOk when complete).
    ZipResult result = ZipOk;
    // errno text of that failure, when the platform gave one.
    std::string error;
    // Relative names of files that could not be added; the walk went on past them.
    std::vector<std::string> leftOut;
    int membersWritten = 0;
};

class FolderZipper {
public:
    // Writes the archive through a temporary name in the archive's folder and renames
    // it over archivePath only when it is complete, so an existing file of that name
    // is replaced only by a complete archive.
    ZipFolderResult ZipFolder(const std::string& folderPath, const std::string& archivePath);

private:
    void AddFolderTree(const std::string& folderPath, struct ZipHandle* handle, ZipFolderResult& result);

    std::size_t rootLength_ = 0;
};

} // namespace tavrin::zip
