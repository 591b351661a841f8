#include "engine/PackageScan.h"

#include <cerrno>

#include "engine/PackageScanner.h"
#include "engine/UnsizedMemberRecovery.h"
#include "platform/SystemError.h"

namespace tavrin {

PackageScan ScanPackage(const std::string& path, ThreadContext& context)
{
    BatchReporter& view = *context.view;
    PackageScan scan;
    ScannedPackage& package = scan.package;
    if (!package.Open(path)) {
        scan.openError = platform::SystemErrorText(errno);
        view.MessageBox(scan.openError, "Tavrin Lumiq", kMbOkInformation);
        return scan;
    }
    scan.opened = true;

    view.AddLogLine(path + " file is open....\r\n", kBlack);
    PackageScanner scanner(context.running);
    scanner.KeepBrokenMembers(kMaxFailedMembersListed);
    UnsizedMemberRecovery sizer(package.fd(), package.length(), context.running);
    scanner.Scan(package.fd(), package.length(), scan.entries, &sizer);
    package.lost = sizer.TakeLost();
    package.lostNotKept = sizer.LostNotKept();
    package.brokenNotKept = scanner.BrokenNotKept();
    if (scanner.ReadError() != 0) {
        const std::string text = platform::SystemErrorText(scanner.ReadError());
        view.AddLogLine(path + " reading the file failed after " + std::to_string(scanner.ReadErrorOffset()) +
                            " bytes (" + text + "), no member after that point could be found....\r\n",
                        kRed);
        package.readError = text;
    }
    view.AddLogLine(path + " file is extracted....\r\n", kBlack);
    // The scan is over, but the extraction keeps reading this very file.
    view.AddLogLine(path + " file is closed....\r\n", kBlack);
    return scan;
}

} // namespace tavrin
