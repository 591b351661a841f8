// One run of tavrin-repair: the repair batch and the save batch over the given files,
// with a private workspace, Ctrl-C handling and the final report.
#pragma once

#include "cli/CommandLine.h"

namespace tavrin::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitNotAllRepaired = 1;
inline constexpr int kExitUsage = 2;

// --list: scans each file and prints its members; extracts nothing.
int RunList(const Options& options);

// Repairs and saves every file; returns the exit status.
int RunRepair(const Options& options);

} // namespace tavrin::cli
