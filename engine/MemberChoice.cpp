#include "engine/MemberChoice.h"

namespace tavrin {

ScanList ChooseMemberInstances(ScanList scanned)
{
    return scanned;
}

} // namespace tavrin
