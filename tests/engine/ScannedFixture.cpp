#include "ScannedFixture.h"

#include <sys/stat.h>

#include "engine/MemberExtractor.h"

namespace tavrin::test {

ScannedFixture::ScannedFixture(const Bytes& package)
    : path(folder / "p.odb")
{
    WriteFile(path, package);
    scanResult = ScanPackage(path, context, entries, nullptr, &scanned);
}

int ScannedFixture::Extract(PackageReport& report)
{
    ::mkdir((folder / "ws").c_str(), 0700);
    view.log.clear();
    return ExtractPackage(folder / "ws", path, entries, context, &report, &scanned);
}

} // namespace tavrin::test
