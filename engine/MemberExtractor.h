// Writes the members the scanner found into a package folder: members whose two sizes
// are equal are copied, all others inflated as raw DEFLATE, each streamed from the
// package to its target in bounded chunks. A target is written under a temporary name
// and renamed into place only when complete, so no partial member file is ever left.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/BatchReport.h"
#include "engine/PackageEntry.h"
#include "engine/ScannedPackage.h"
#include "engine/BatchReporter.h"

namespace tavrin {

class HeldFolder;

// The member name as a path relative to the package folder: ':' removed, '\' taken as
// a separator, and empty, "." and ".." components dropped, so the result never leads
// outside the folder. Empty when nothing is left.
std::string SafeMemberPath(const std::string& memberName);

// What writing the members of one package gave.
struct MemberExtraction {
    bool anyMember = false; // the scan found something to write, listed or lost
    // The first kMaxFailedMembersListed members not recovered whole, and every member
    // recovered whole, in file order.
    std::vector<MemberReport> members;
    // Members written whole or in part. The files the repair writes itself (content.xml
    // from the template, a manifest, a mimetype) do not count.
    std::size_t membersRecovered = 0;
    // The outcome of every member the database completion decides by, whether or not
    // `members` lists it (the list is bounded; the completion's decisions must not be).
    std::vector<MemberReport> databaseMembers;
    // Whether the content.xml written is known not to hold the bytes the package recorded.
    bool contentXmlDamaged = false;
    std::uint64_t failedNotListed = 0; // other members not recovered whole, beyond `members`
    std::uint64_t lostNotListed = 0;   // members that lost their sizes, beyond `members`
};

// Writes every entry into `folder`, drives the file progress bar, logs one red line
// per member that could not be recovered whole (for the first kMaxFailedMembersListed,
// then one line counting the rest, with the scan's broken members not kept) and one
// black line per member sized by inflation. Every member is read through the scan's
// descriptor when `scanned` is open (else the package is opened by its path), and the
// members the scan could not size are reported red in their place in file order.
// With `held`, small members no later step reads are kept there instead of in the
// folder (see HeldFolder).
MemberExtraction ExtractMembers(const std::string& folder, const std::string& packagePath,
                                std::span<const PackageEntry> entries,
                                const ScannedPackage& scanned, BatchReporter& view, HeldFolder* held = nullptr);

// Folders already made for one package, so each is created only once.
using CreatedFolders = std::unordered_set<std::string>;

// Creates the sub-folders of the member's path under `folder` and replaces `name` with
// the member's full target path (empty when the name has nothing left to write).
// Returns 1 when the name had folder levels, 0 otherwise.
int CreateMemberFolders(const std::string& folder, std::string& name, BatchReporter& view,
                        CreatedFolders* created = nullptr);

// Writes one member to `targetPath`, reading it from the package by its data offset.
// `packageFd`, when given, is the package already open for reading. With `memory`
// the member's bytes go there instead of to a file (what a file would have kept of
// them; the report is the same).
MemberReport ExtractMember(const PackageEntry& entry, const std::string& packagePath,
                           const std::string& targetPath, int packageFd = -1, std::string* memory = nullptr);

} // namespace tavrin
