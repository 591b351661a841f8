// tavrin-repair: repairs damaged .odb packages from the command line.
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/RepairRun.h"

#ifndef TAVRIN_VERSION
#define TAVRIN_VERSION "unknown"
#endif

int main(int argc, char** argv)
{
    tavrin::cli::TakeOverSignals();
    std::setlocale(LC_ALL, "");
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const tavrin::cli::ParseResult parsed = tavrin::cli::ParseCommandLine(arguments);
    const tavrin::cli::Options& options = parsed.options;
    if (!parsed.error.empty() || options.help || options.version || options.list)
        tavrin::cli::ReleaseStopSignals();
    if (!parsed.error.empty())
        return tavrin::cli::UsageError(parsed.error);
    if (options.help) {
        std::fputs(tavrin::cli::UsageText().c_str(), stdout);
        return tavrin::cli::kExitSuccess;
    }
    if (options.version) {
        std::printf("tavrin-repair %s\n", TAVRIN_VERSION);
        return tavrin::cli::kExitSuccess;
    }
    return options.list ? tavrin::cli::RunList(options) : tavrin::cli::RunRepair(options);
}
