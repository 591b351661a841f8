// What the repair and save batches share in their log and report: the separator
// after each package, the closing line of a batch, the report entry of a job, and
// what is said of the jobs a stop leaves undone.
#pragma once

#include <cstddef>
#include <string>

#include "engine/ThreadContext.h"
#include "engine/BatchReporter.h"

namespace tavrin {

inline const std::string kSeparatorLine = std::string(85, '*') + "\r\n";
inline const std::string kClosingLine = std::string(64, '_') + "\r\n\r\n";

// The report entry of job `index`, created when missing and named after its package.
inline PackageReport& ReportFor(BatchReport& batch, int index, const std::string& path)
{
    auto& packages = batch.packages;
    if (packages.size() <= static_cast<std::size_t>(index))
        packages.resize(static_cast<std::size_t>(index) + 1);
    PackageReport& report = packages[static_cast<std::size_t>(index)];
    report.path = path;
    return report;
}

// Jobs `from` to the last, left undone by a stop: for each, `why` and then `notDone`
// after its path, the separator, state 0, and `result` in the report.
inline void LogStoppedJobs(BatchReporter& view, BatchReport& batch, int from, int count, const char* why,
                           const char* notDone, PackageResult result)
{
    for (int j = from; j < count; ++j) {
        const std::string path = view.JobPath(j);
        view.AddLogLine(path + why, kBlack);
        view.AddLogLine(path + notDone, kRed);
        view.AddLogLine(kSeparatorLine, kBlack);
        view.SetJobState(j, 0);
        ReportFor(batch, j, path).result = result;
    }
}

} // namespace tavrin
