// The machine-readable report of tavrin-repair --json.
#pragma once

#include <string>

#include "engine/BatchReport.h"
#include "engine/PackageEntry.h"

namespace tavrin::cli {

std::string JsonString(const std::string& text);

// {"output": ..., "packages": [...], "exit_status": n}: per package its path, result,
// members found/written, the members not recovered, content.xml, output and media folder.
std::string RunReportJson(const BatchReport& report, const std::string& output, int exitStatus);

// {"path": ..., "opened": bool, "error": ..., "members": [{name, compressed_size, ...}]}
std::string ScanReportJson(const std::string& path, bool opened, const std::string& error, const ScanList& entries);

} // namespace tavrin::cli
