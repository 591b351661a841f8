// The machine-readable report of tavrin-repair --json.
#pragma once

#include <string>

#include "engine/BatchReport.h"
#include "engine/PackageEntry.h"

namespace tavrin::cli {

// Raised when a key changes meaning or goes away; new keys keep the number.
inline constexpr int kJsonSchemaVersion = 2;

// A JSON string of `text`: UTF-8 as it stands; control characters as \u00XX; every
// byte that is no part of a UTF-8 sequence as \uDCXX (XX the byte, the "surrogate
// escape" Python's os.fsdecode uses), so the report is always valid UTF-8 and a name
// or path of any bytes can be told back exactly.
std::string JsonString(const std::string& text);

// {"schema_version": n, "output": ..., "packages": [...], "exit_status": n}: per package its path, result,
// members found/written, the members not recovered, content.xml, output and media folder.
std::string RunReportJson(const BatchReport& report, const std::string& output, int exitStatus);

// {"path": ..., "opened": bool, "error": ..., "members": [{name, compressed_size, ...}]}
std::string ScanReportJson(const std::string& path, bool opened, const std::string& error, const ScanList& entries);

} // namespace tavrin::cli
