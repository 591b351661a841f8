#include "zip/ZipResult.h"

namespace tavrin::zip {

const char* ZipResultText(ZipResult result)
{
    switch (result) {
    case ZipOk: return "Success";
    case ZipDuplicateFailed: return "Culdn't duplicate handle";
    case ZipOpenFailed: return "Couldn't create/open file";
    case ZipNoMemory: return "Failed to allocate memory";
    case ZipWriteFailed: return "Error writing to file";
    case ZipReadFailed: return "Error reading from file";
    case ZipBadArguments: return "Caller: faulty arguments";
    case ZipMemoryTooSmall: return "Caller: not enough space allocated for memory zipfile";
    case ZipWrongHandleKind: return "Caller: mixing creation and opening of zip";
    case ZipTooLarge: return "Member too large: it passed 4 GiB without a ZIP64 header";
    case ZipMethodChanged: return "Zip-bug: tried to change mind, but not allowed";
    }
    return "Unknown zip error";
}

} // namespace tavrin::zip
