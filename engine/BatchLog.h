// What the repair and save batches share in their log and report: the separator
// after each package, the closing line of a batch, and the report entry of a job.
#pragma once

#include <cstddef>
#include <string>

#include "engine/ThreadContext.h"

namespace tavrin {

inline const std::string kSeparatorLine = std::string(85, '*') + "\r\n";
inline const std::string kClosingLine = std::string(64, '_') + "\r\n\r\n";

// The report entry of job `index`, created when missing and named after its package;
// null when the front end asked for no report.
inline PackageReport* ReportFor(ThreadContext& context, int index, const std::string& path)
{
    if (context.report == nullptr)
        return nullptr;
    auto& packages = context.report->packages;
    if (packages.size() <= static_cast<std::size_t>(index))
        packages.resize(static_cast<std::size_t>(index) + 1);
    PackageReport& report = packages[static_cast<std::size_t>(index)];
    report.path = path;
    return &report;
}

} // namespace tavrin
