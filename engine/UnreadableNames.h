// Names in a package folder that LibreOffice could not read back from a rebuilt package.
//
// A package's manifest must list every member: LibreOffice refuses a package holding a
// member its manifest does not list (measured with LibreOffice 7.4: the database then
// does not even connect). The manifest lists members in XML, which carries only UTF-8
// text without control characters, and LibreOffice reads the member names of the
// archive as UTF-8 too. So a recovered member whose name has a damaged byte (a flipped
// high bit, a control character) would make the whole repaired database unopenable.
// Such files and folders are renamed before the manifest is written: every byte that
// is not part of a name character is written as %XX (and '%' itself as %25), which
// keeps the member, and keeps the original bytes readable in its new name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/LogLine.h"

namespace tavrin {

struct RenamedName {
    std::string from; // relative to the package folder, as the bytes stood
    std::string to;   // relative to the package folder, readable
};

struct NameRenaming {
    static constexpr std::size_t kMaxListed = 100;
    std::vector<RenamedName> listed; // the first kMaxListed renamings, in tree order
    std::uint64_t notListed = 0;     // renamings past those
    std::vector<std::string> failed; // relative paths that could not be renamed (listed up to kMaxListed)
};

// `name` (one path component) as it is saved: unchanged when it is UTF-8 text of name
// characters, otherwise with every other byte, and every '%', written as %XX.
std::string ReadableName(const std::string& name);

// `relative` (components separated by '/') as ReadableName saves each component,
// before any suffix that tells two alike apart.
std::string ReadablePath(const std::string& relative);

// Renames every file and folder below `folder` whose name ReadableName changes; a
// readable name already taken gets "~2", "~3", ... Symbolic links are not followed.
NameRenaming RenameUnreadableNames(const std::string& folder);

// The log lines of a renaming of the package at `packagePath`: one black line per
// listed renaming, one counting the rest, one red line per name that could not change.
LogLines RenamingLogLines(const std::string& packagePath, const NameRenaming& renaming);

} // namespace tavrin
