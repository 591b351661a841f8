// The Workspace: a private folder tree in the temporary folder holding one package
// folder per job, where the repair batch extracts and the save batch reads.
#pragma once

#include <cstddef>
#include <string>

namespace tavrin {

// TMPDIR (else /tmp) + "/BsTmp-<uid>", or the override when one is set. No trailing '/'.
std::string GetWorkspaceRoot();

// Makes GetWorkspaceRoot return `root` (a run-private folder of the command-line
// program); an empty text returns to the default.
void SetWorkspaceRootOverride(const std::string& root);

struct WorkspaceCheck {
    bool usable = false;
    std::string error; // why the root cannot be used
};

// Creates the root with mode 0700 when it is missing. It is usable only when it is a
// real directory (not a symbolic link) owned by this user; group and other permission
// bits are then removed.
WorkspaceCheck EnsureWorkspaceRoot();

// True when `path` is a real directory (a symbolic link is not followed).
bool IsRealDirectory(const std::string& path);

// Deletes everything below `path`, depth first; `path` itself stays. Symbolic links
// are removed, never followed. Failures are skipped.
void DeleteFolderTree(const std::string& path);

// Removes `path` with everything below it, when it is a real directory (a link in its
// place is left alone).
void RemoveFolderTree(const std::string& path);

// DeleteFolderTree(root) and removal of the root, when the root is our real directory.
void WipeWorkspace();

// The text after the last '/' of a path (all of it when there is none).
std::string FileNameOf(const std::string& path);

// Longest part of a job's file name a package folder's name keeps.
inline constexpr std::size_t kMaxPackageFolderStem = 200;

// root + "/" + file name of the job path (its first kMaxPackageFolderStem bytes) + "." +
// the job index in decimal: one folder per job, whatever the file names.
std::string PackageFolder(const std::string& jobPath, int jobIndex);

// The folder of package `number` (2 and up) of a job's file, beside the job's package
// folder: "<package folder>-<number>". No job's folder ends that way.
std::string FurtherPackageFolder(const std::string& packageFolder, std::size_t number);

} // namespace tavrin
