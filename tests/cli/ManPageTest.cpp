// The manual page stays in step with `tavrin-repair --help`: every option the help
// offers has an entry in tavrin-repair.1.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

namespace {

std::string HelpText()
{
    std::string text;
    FILE* pipe = ::popen("'" TAVRIN_REPAIR_EXE "' --help", "r");
    if (pipe == nullptr)
        return text;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, got);
    ::pclose(pipe);
    return text;
}

// The page as a reader sees its option names: troff writes a hyphen as "\-".
std::string ManPageText()
{
    std::ifstream in(TAVRIN_SOURCE_DIR "/cli/tavrin-repair.1");
    std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return std::regex_replace(page, std::regex(R"(\\-)"), "-");
}

// The option names the help lists at the start of its option lines ("  -o, --output DIR").
std::set<std::string> OptionsIn(const std::string& help)
{
    std::set<std::string> options;
    const std::regex optionLine(R"(^\s+(-[A-Za-z0-9])?(?:,\s*)?(--[a-z0-9][a-z0-9-]*)?)", std::regex::multiline);
    for (auto it = std::sregex_iterator(help.begin(), help.end(), optionLine); it != std::sregex_iterator(); ++it) {
        for (int group : {1, 2}) {
            if ((*it)[group].matched)
                options.insert((*it)[group].str());
        }
    }
    return options;
}

TEST(ManPage, ListsEveryOptionOfTheHelp)
{
    const std::string help = HelpText();
    const std::set<std::string> options = OptionsIn(help);
    // The help offers these at least; a parse that finds none would prove nothing.
    for (const char* known : {"--output", "--help", "--version", "-o", "-q"})
        EXPECT_TRUE(options.count(known)) << known << " not read from the help:\n" << help;

    const std::string page = ManPageText();
    ASSERT_FALSE(page.empty());
    for (const std::string& option : options) {
        const std::regex entry("(^|[^-a-z0-9])" + option + "([^-a-z0-9]|$)");
        EXPECT_TRUE(std::regex_search(page, entry)) << option << " is in --help but not in cli/tavrin-repair.1";
    }
}

} // namespace
