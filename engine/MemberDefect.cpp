#include "engine/MemberDefect.h"

#include <iterator>

namespace tavrin {
namespace {

struct DefectRow {
    MemberDefect defect;
    const char* code;
    const char* text;
};

constexpr DefectRow kDefects[] = {
    {MemberDefect::None, "none", ""},
    {MemberDefect::CutShort, "cut-short", "is cut short"},
    {MemberDefect::DataEndsEarly, "data-ends-early", "the data ends before the member's size"},
    {MemberDefect::PackageEndsInside, "package-ends-inside", "the package ends inside the member's data"},
    {MemberDefect::ReadFailed, "read-failed", "reading the package failed"},
    {MemberDefect::DataDamaged, "data-damaged", "the data is damaged"},
    {MemberDefect::NoMemory, "no-memory", "out of memory"},
    {MemberDefect::PackageNotOpened, "package-not-opened", "the package could not be opened"},
    {MemberDefect::NameLeavesNothing, "name-leaves-nothing", "the name leaves nothing to write"},
    {MemberDefect::WriteFailed, "write-failed", "could not be written"},
    {MemberDefect::SizesLost, "sizes-lost", "its sizes are lost"},
    {MemberDefect::CrcMismatch, "crc-mismatch", "does not match the CRC-32 the package recorded"},
    {MemberDefect::HeaderCutOff, "header-cut-off", "the package ends inside its local header"},
};

const DefectRow& RowOf(MemberDefect defect)
{
    for (const DefectRow& row : kDefects)
        if (row.defect == defect)
            return row;
    return kDefects[0];
}

} // namespace

const char* DefectText(MemberDefect defect)
{
    return RowOf(defect).text;
}

const char* DefectCode(MemberDefect defect)
{
    return RowOf(defect).code;
}

std::string DefectText(MemberDefect defect, const std::string& detail)
{
    return std::string(DefectText(defect)) + ": " + detail;
}

} // namespace tavrin
