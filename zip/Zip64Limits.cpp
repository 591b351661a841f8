#include "zip/Zip64Limits.h"

namespace tavrin::zip {

Zip64Limits& CurrentZip64Limits()
{
    static Zip64Limits limits;
    return limits;
}

} // namespace tavrin::zip
