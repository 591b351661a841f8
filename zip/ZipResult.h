// Result codes of the archive writer, with the description text held for each.
// Distinct from the inflater's UnzipResult values.
#pragma once

#include <cstdint>

namespace tavrin::zip {

enum ZipResult : std::uint32_t {
    ZipOk = 0x00000000,
    ZipDuplicateFailed = 0x00000100,
    ZipOpenFailed = 0x00000200,
    ZipNoMemory = 0x00000300,
    ZipWriteFailed = 0x00000400,
    // A source could not be read to its end; the member is not listed.
    ZipReadFailed = 0x00000500,
    ZipBadArguments = 0x00010000,
    ZipMemoryTooSmall = 0x00030000,
    ZipWrongHandleKind = 0x00080000,
    // A member whose size was not known when its local header was written (a pipe)
    // passed 4 GiB: the header has no room for ZIP64 sizes. The member is not listed.
    ZipTooLarge = 0x00100000,
    ZipMethodChanged = 0x04000000,
};

// The description text of a code, e.g. "Error writing to file".
const char* ZipResultText(ZipResult result);

} // namespace tavrin::zip
