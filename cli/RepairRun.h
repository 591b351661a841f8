// One run of tavrin-repair: the repair batch and the save batch over the given files,
// with a private workspace, signal handling and the final report.
#pragma once

#include "cli/CommandLine.h"

namespace tavrin::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitNotAllRepaired = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitSavedWithLosses = 3;

// Blocks the signals that stop a run (they are taken by the run's own thread once it
// exists, so one that comes early waits for it instead of killing the process with
// its files half made), and ignores SIGPIPE and SIGXFSZ (a closed reader and a file
// size limit are failed writes the run cleans up after). The first thing main does.
void TakeOverSignals();

// Gives the stopping signals their usual effect again, for a run with nothing to clean up.
void ReleaseStopSignals();

// Prints "tavrin-repair: <text>" and the line that points to --help; returns kExitUsage.
int UsageError(const std::string& text);

// --list: scans each file and prints its members; extracts nothing.
int RunList(const Options& options);

// Repairs and saves every file; returns the exit status.
int RunRepair(const Options& options);

} // namespace tavrin::cli
