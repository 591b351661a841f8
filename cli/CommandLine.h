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
    std::string keepWorkspace; // empty: a private workspace removed at exit
    bool help = false;
    bool version = false;
};

struct ParseResult {
    Options options;
    std::string error; // a usage error; empty when the command line is good
};

ParseResult ParseCommandLine(const std::vector<std::string>& arguments);

std::string UsageText();

} // namespace tavrin::cli
