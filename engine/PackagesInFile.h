// Packages written one after another into one file: two joined by a copy gone wrong, or
// a newer package written over an older, longer one, whose members stay behind its end
// record. Each is rebuilt on its own, so the members of one never stand in for those of
// the other.
//
// A further package starts at a `mimetype` member when the package before it already
// holds one, or at the first member behind an end-of-central-directory record. A run
// that holds nothing but `mimetype` members is no package of its own (a file of a
// thousand of them must not make a thousand outputs); it stays with the package before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/LogLine.h"
#include "engine/PackageEntry.h"
#include "engine/UnsizedMemberRecovery.h"

namespace tavrin {

// Most packages of one file rebuilt on their own; those behind are rebuilt with the last.
inline constexpr std::size_t kMaxPackagesInFile = 16;

// The members of one package of the file, in file order.
struct PackageMembers {
    // Its part of PackagesInFile::entries: the scan list is not copied per package, a
    // file of a million headers would otherwise be held twice. Choosing one copy per
    // member path narrows it to the copies kept.
    std::span<PackageEntry> entries;
    // Members of this package the scan could not size; `listedBefore` counts the
    // entries of this package only.
    std::vector<LostMember> lost;
    std::uint64_t firstOffset = 0; // data offset of its first member
};

struct PackagesInFile {
    PackagesInFile() = default;
    // Moved, the list keeps its buffer and the packages' spans stay valid; a copy
    // would point into the list it was copied from.
    PackagesInFile(PackagesInFile&&) = default;
    PackagesInFile& operator=(PackagesInFile&&) = default;
    PackagesInFile(const PackagesInFile&) = delete;
    PackagesInFile& operator=(const PackagesInFile&) = delete;

    ScanList entries; // every member of the file, in file order
    std::vector<PackageMembers> packages; // at least one, at most kMaxPackagesInFile
    // Packages found beyond the bound, rebuilt with the last one kept.
    std::uint64_t foldedIntoLast = 0;
    std::uint64_t found() const { return packages.size() + foldedIntoLast; }
};

// Splits the scan's members (`entries` in file order, `lost` placed among them by
// `listedBefore`) into the packages of the file. Reads the bytes between members from
// the package open as `fd` to find end records. `maxPackages` is at least 1.
PackagesInFile SplitPackages(int fd, ScanList entries, std::vector<LostMember> lost,
                             std::size_t maxPackages = kMaxPackagesInFile);

// What the log says of the packages of a file after its path: nothing for one; a line
// saying each is rebuilt on its own; a red one for those rebuilt with the last.
LogLines PackagesInFileLogLines(const std::string& packagePath, const PackagesInFile& packages);

// What stands before the text of a log line about package `number` (1 is the first) of
// the file at `packagePath`: the path alone for the first, so a file of one package is
// logged as ever.
std::string PackageLogPath(const std::string& packagePath, std::size_t number);

} // namespace tavrin
