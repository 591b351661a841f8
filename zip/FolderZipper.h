// Folder archiver: writes every file under one folder tree into a new ZIP archive,
// member names relative to the folder, in depth-first order with the entries of each
// folder sorted by name (byte order) so the same folder always gives the same archive.
#pragma once

#include <string>
#include <vector>

#include "MemoryFiles.h"
#include "ZipResult.h"
#include "ZipSource.h"

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

    // Package order: a file named `mimetype` at the top of the folder becomes the first
    // member, stored and without extra field, as ODF packages require (desktop file
    // type detection reads the media type at a fixed offset); everything else follows
    // in the usual order. Off by default.
    void SetMimetypeFirst(bool first) { mimetypeFirst_ = first; }

    // Files to archive beside the folder's own, each at the place its name takes in the
    // walk, as if it stood in the folder. They must outlive ZipFolder; a name the
    // folder holds as well is taken from the folder.
    void SetMemoryFiles(const MemoryFiles* files) { memoryFiles_ = files; }

private:
    // Adds the files below `folderPath`, entries in byte order of their names, each
    // sub-folder's files at the place the sub-folder comes. Files that cannot be read
    // go to leftOut and the walk goes on; a failure of the output ends it.
    void AddFolderTree(const std::string& folderPath, struct ZipHandle* handle, ZipFolderResult& result);

    // Identity of the archive's work file, so that an archive written into the folder
    // it archives never includes itself.
    struct WorkFileId {
        unsigned long long device = 0;
        unsigned long long inode = 0;
    };

    // Adds one file as `relativeName`, counting it or listing it as left out.
    void AddFile(const std::string& fullPath, const std::string& relativeName, const ZipAddOptions& options,
                 struct ZipHandle* handle, ZipFolderResult& result);

    // Counts a member added, or lists it as left out (a failure of the output also ends
    // the archive).
    static void CountAdded(ZipResult added, const std::string& relativeName, struct ZipHandle* handle,
                           ZipFolderResult& result);

    // Adds the memory files whose names come before `relativeName` in the walk (all that
    // are left when it is null) and skips one of that very name.
    void AddMemoryFilesBefore(const std::string* relativeName, struct ZipHandle* handle, ZipFolderResult& result);

    std::size_t rootLength_ = 0;
    bool mimetypeFirst_ = false;
    const MemoryFiles* memoryFiles_ = nullptr;
    MemoryFiles::const_iterator nextMemoryFile_;
    WorkFileId workFile_;
};

} // namespace tavrin::zip
