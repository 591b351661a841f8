// The options of tavrin-repair.
#pragma once

#include <string>
#include <vector>

namespace tavrin::cli {

struct Options {
    std::vector<std::string> files;
    std::string output = ".";
    bool media = true;
    bool list = false;
    bool json = false;
    bool quiet = false;
    bool color = true;
    bool force = false;        // replace earlier outputs of the same name in the output folder
    std::string keepWorkspace; // empty: a private workspace removed at exit
    int jobs = 0;              // files repaired at once; 0: one per core
    bool help = false;
    bool version = false;
};

struct ParseResult {
    Options options;
    std::string error; // a usage error; empty when the command line is good
};

// Parsed as getopt_long parses: options and files in any order, short options
// bundled (-qo DIR), values joined or apart (-oDIR, --output=DIR, --output DIR),
// long options abbreviated while they stay unambiguous, "--" ending the options.
ParseResult ParseCommandLine(const std::vector<std::string>& arguments);

std::string UsageText();

// Most files -j takes at once: each holds its package open and its log in memory.
inline constexpr int kMaxJobs = 64;

// The line that follows every usage error.
inline constexpr const char* kTryHelp = "Try 'tavrin-repair --help' for more information.";

} // namespace tavrin::cli
