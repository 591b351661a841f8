#include "ScannedFixture.h"

#include <sys/stat.h>

#include "ExtractionSteps.h"

namespace tavrin::test {

ScannedFixture::ScannedFixture(const Bytes& package)
    : path(folder / "p.odb")
{
    WriteFile(path, package);
    scan = ScanPackage(path, context);
}

MemberExtraction ScannedFixture::Extract(PackageReport& report)
{
    ::mkdir((folder / "ws").c_str(), 0700);
    view.log.clear();
    return RunExtractionSteps(folder / "ws", path, entries, scanned, view, report);
}

} // namespace tavrin::test
