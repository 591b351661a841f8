#include "cli/CommandLine.h"

namespace tavrin::cli {

std::string UsageText()
{
    return "Usage: tavrin-repair [options] FILE.odb...\n"
           "Repairs damaged LibreOffice Base (.odb) packages: finds every member by its local\n"
           "header, extracts it, and writes a rebuilt package TAVRINREP_<name> into the output\n"
           "folder, with the package's pictures in <name>_MediaContent.\n"
           "\n"
           "Options:\n"
           "  -o, --output DIR         folder for the rebuilt packages (default: the current folder)\n"
           "      --no-media           do not copy the pictures into a media folder\n"
           "      --list               only list the members found, with sizes and data offsets\n"
           "      --json               print a machine-readable report on standard output\n"
           "  -q, --quiet              print no activity log and no progress\n"
           "      --no-color           no colours, even on a terminal\n"
           "      --keep-workspace DIR extract into DIR (new or empty) and keep it afterwards\n"
           "  -h, --help               show this help and exit\n"
           "      --version            show the version and exit\n"
           "\n"
           "Ctrl-C stops after the current package; a second Ctrl-C aborts without output.\n"
           "Exit status: 0 every file repaired and saved, 1 some file not, 2 usage error.\n";
}

ParseResult ParseCommandLine(const std::vector<std::string>& arguments)
{
    ParseResult result;
    Options& options = result.options;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (onlyFiles || argument.empty() || argument[0] != '-' || argument == "-") {
            options.files.push_back(argument);
            continue;
        }
        std::string name = argument;
        std::string value;
        bool hasValue = false;
        if (argument.rfind("--", 0) == 0) {
            const auto equals = argument.find('=');
            if (equals != std::string::npos) {
                name = argument.substr(0, equals);
                value = argument.substr(equals + 1);
                hasValue = true;
            }
        } else if (argument.size() > 2 && argument[1] == 'o') {
            name = "-o";
            value = argument.substr(2);
            hasValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= arguments.size()) {
                result.error = "option " + name + " needs a value";
                return false;
            }
            value = arguments[++i];
            return true;
        };
        auto noValue = [&]() -> bool {
            if (hasValue)
                result.error = "option " + name + " takes no value";
            return !hasValue;
        };
        if (name == "--") {
            onlyFiles = true;
        } else if (name == "-o" || name == "--output") {
            if (!takeValue())
                return result;
            options.output = value;
        } else if (name == "--keep-workspace") {
            if (!takeValue())
                return result;
            if (value.empty()) {
                result.error = "option --keep-workspace needs a folder";
                return result;
            }
            options.keepWorkspace = value;
        } else if (name == "--no-media" && noValue()) {
            options.media = false;
        } else if (name == "--list" && noValue()) {
            options.list = true;
        } else if (name == "--json" && noValue()) {
            options.json = true;
        } else if ((name == "-q" || name == "--quiet") && noValue()) {
            options.quiet = true;
        } else if ((name == "--no-color" || name == "--no-colour") && noValue()) {
            options.color = false;
        } else if ((name == "-h" || name == "--help") && noValue()) {
            options.help = true;
        } else if (name == "--version" && noValue()) {
            options.version = true;
        } else {
            if (result.error.empty())
                result.error = "unknown option " + argument;
            return result;
        }
    }
    if (!options.help && !options.version && options.files.empty())
        result.error = "no .odb file given";
    return result;
}

} // namespace tavrin::cli
