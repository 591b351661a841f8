#include "cli/CommandLine.h"

#include <getopt.h>

#include <cerrno>
#include <cstdlib>

namespace tavrin::cli {
namespace {

enum LongOnly : int {
    kNoMedia = 1000,
    kList,
    kJson,
    kNoColor,
    kKeepWorkspace,
    kVersion,
    kForce,
};

const option kLongOptions[] = {
    {"output", required_argument, nullptr, 'o'},
    {"jobs", required_argument, nullptr, 'j'},
    {"no-media", no_argument, nullptr, kNoMedia},
    {"list", no_argument, nullptr, kList},
    {"json", no_argument, nullptr, kJson},
    {"quiet", no_argument, nullptr, 'q'},
    {"no-color", no_argument, nullptr, kNoColor},
    {"no-colour", no_argument, nullptr, kNoColor},
    {"force", no_argument, nullptr, kForce},
    {"keep-workspace", required_argument, nullptr, kKeepWorkspace},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

std::string OptionName(int value)
{
    if (value > 0 && value < 128)
        return std::string("-") + static_cast<char>(value);
    for (const option& known : kLongOptions)
        if (known.name != nullptr && known.val == value)
            return std::string("--") + known.name;
    return "an option";
}

} // namespace

std::string UsageText()
{
    return "Usage: tavrin-repair [options] FILE.odb...\n"
           "Repairs damaged LibreOffice Base (.odb) packages: finds every member by its local\n"
           "header, extracts it, and writes a rebuilt package TAVRINREP_<name> into the output\n"
           "folder, with the package's pictures in <name>_MediaContent.\n"
           "\n"
           "Options:\n"
           "  -o, --output=DIR         folder for the rebuilt packages (default: the current folder)\n"
           "  -j, --jobs=N             repair N files at once (default: one per core); the\n"
           "                           log of each file is printed in one block, in the order\n"
           "                           the files were given\n"
           "      --force              replace a TAVRINREP_<name> of an earlier run and add to its\n"
           "                           media folder (a file given to repair is never replaced)\n"
           "      --no-media           do not copy the pictures into a media folder\n"
           "      --list               only list the members found, with sizes and data offsets\n"
           "      --json               print a machine-readable report on standard output\n"
           "  -q, --quiet              print no activity log and no progress; errors and losses\n"
           "                           are still printed\n"
           "      --no-color           no colours, even on a terminal\n"
           "      --keep-workspace=DIR extract into DIR (new or empty) and keep it afterwards\n"
           "  -h, --help               show this help and exit\n"
           "      --version            show the version and exit\n"
           "\n"
           "Ctrl-C stops after the current package; a second Ctrl-C aborts without output.\n"
           "Exit status: 0 every file repaired and saved whole, 3 every file saved but something\n"
           "lost (a member cut or left out, a failed CRC, a picture not copied), 1 some file not\n"
           "saved, 2 usage error.\n";
}

ParseResult ParseCommandLine(const std::vector<std::string>& arguments)
{
    ParseResult result;
    Options& options = result.options;
    std::vector<std::string> copies;
    copies.reserve(arguments.size() + 1);
    copies.emplace_back("tavrin-repair");
    copies.insert(copies.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& copy : copies)
        argv.push_back(copy.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(copies.size());

    // getopt keeps its place in globals: start it afresh, and quiet, as the messages are ours.
    optind = 0;
    opterr = 0;
    for (;;) {
        const int previous = optind == 0 ? 1 : optind;
        const int value = ::getopt_long(argc, argv.data(), ":o:j:qh", kLongOptions, nullptr);
        if (value == -1)
            break;
        switch (value) {
        case 'o': options.output = optarg; break;
        case 'j': {
            char* end = nullptr;
            errno = 0;
            const long jobs = std::strtol(optarg, &end, 10);
            if (end == optarg || *end != '\0' || errno != 0 || jobs < 1 || jobs > kMaxJobs) {
                result.error = "option -j needs a number of files from 1 to " + std::to_string(kMaxJobs);
                return result;
            }
            options.jobs = static_cast<int>(jobs);
            break;
        }
        case 'q': options.quiet = true; break;
        case 'h': options.help = true; break;
        case kNoMedia: options.media = false; break;
        case kList: options.list = true; break;
        case kJson: options.json = true; break;
        case kNoColor: options.color = false; break;
        case kForce: options.force = true; break;
        case kVersion: options.version = true; break;
        case kKeepWorkspace:
            if (*optarg == '\0') {
                result.error = "option --keep-workspace needs a folder";
                return result;
            }
            options.keepWorkspace = optarg;
            break;
        case ':':
            result.error = "option " + OptionName(optopt) + " needs a value";
            return result;
        default: {
            const std::string given = previous < argc ? argv[static_cast<std::size_t>(previous)] : "";
            if (optopt != 0 && given.rfind("--", 0) == 0)
                result.error = "option " + OptionName(optopt) + " takes no value";
            else if (optopt != 0)
                result.error = std::string("unknown option -") + static_cast<char>(optopt);
            else
                result.error = "unknown or ambiguous option " + given.substr(0, given.find('='));
            return result;
        }
        }
    }
    for (int i = optind; i < argc; ++i)
        options.files.emplace_back(argv[static_cast<std::size_t>(i)]); // in the order getopt_long left them
    optind = 0;
    if (options.help || options.version)
        return result;
    if (options.files.empty()) {
        result.error = "no .odb file given";
        return result;
    }
    for (const std::string& file : options.files) {
        if (file == "-") {
            result.error = "'-': a package cannot be read from standard input; give the file's name";
            return result;
        }
        if (file.empty()) {
            result.error = "an empty file name was given";
            return result;
        }
    }
    return result;
}

} // namespace tavrin::cli
