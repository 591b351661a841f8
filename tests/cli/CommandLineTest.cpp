#include "cli/CommandLine.h"

#include <gtest/gtest.h>

#include "cli/HtmlToText.h"
#include "cli/ProgressEstimate.h"

namespace tavrin::cli {
namespace {

TEST(CommandLine, ParsesEveryOptionAndRefusesBadOnes)
{
    const ParseResult all = ParseCommandLine({"-o", "out", "--no-media", "--json", "-q", "--no-color",
                                              "--keep-workspace=ws", "a.odb", "--", "-b.odb"});
    ASSERT_EQ(all.error, "");
    EXPECT_EQ(all.options.output, "out");
    EXPECT_FALSE(all.options.media);
    EXPECT_TRUE(all.options.json);
    EXPECT_TRUE(all.options.quiet);
    EXPECT_FALSE(all.options.color);
    EXPECT_EQ(all.options.keepWorkspace, "ws");
    EXPECT_EQ(all.options.files, (std::vector<std::string>{"a.odb", "-b.odb"}));

    EXPECT_EQ(ParseCommandLine({"-oout", "x.odb"}).options.output, "out");
    EXPECT_EQ(ParseCommandLine({"--output=o", "x.odb"}).options.output, "o");
    EXPECT_TRUE(ParseCommandLine({"--list", "x.odb"}).options.list);
    EXPECT_EQ(ParseCommandLine({"--help"}).error, "");
    EXPECT_EQ(ParseCommandLine({"--version"}).error, "");

    // As getopt_long reads them: bundled short options, values joined, options after files.
    const ParseResult bundled = ParseCommandLine({"x.odb", "-qo", "out", "--force", "y.odb"});
    ASSERT_EQ(bundled.error, "");
    EXPECT_TRUE(bundled.options.quiet);
    EXPECT_TRUE(bundled.options.force);
    EXPECT_EQ(bundled.options.output, "out");
    EXPECT_EQ(bundled.options.files, (std::vector<std::string>{"x.odb", "y.odb"}));
    EXPECT_EQ(ParseCommandLine({"--out=o", "x.odb"}).options.output, "o");
    EXPECT_EQ(ParseCommandLine({"x.odb"}).options.jobs, 0); // one per core
    EXPECT_EQ(ParseCommandLine({"-qj3", "x.odb"}).options.jobs, 3);
    EXPECT_EQ(ParseCommandLine({"--jobs=64", "x.odb"}).options.jobs, 64);
    for (const char* count : {"0", "-1", "65", "2x", "", "99999999999999999999"})
        EXPECT_EQ(ParseCommandLine({"-j", count, "x.odb"}).error, "option -j needs a number of files from 1 to 64")
            << count;

    EXPECT_EQ(ParseCommandLine({"-o"}).error, "option -o needs a value");
    EXPECT_EQ(ParseCommandLine({"--json=yes", "x.odb"}).error, "option --json takes no value");
    EXPECT_EQ(ParseCommandLine({"--bogus=1", "x.odb"}).error, "unknown or ambiguous option --bogus");
    EXPECT_EQ(ParseCommandLine({"-x", "x.odb"}).error, "unknown option -x");
    EXPECT_EQ(ParseCommandLine({"-"}).error, "'-': a package cannot be read from standard input; give the file's name");
    const std::vector<std::vector<std::string>> bad = {
        {}, {"--list"}, {"-o"}, {"--bogus", "x.odb"}, {"--json=yes", "x.odb"}, {"--keep-workspace=", "x.odb"},
        {"--no", "x.odb"}, {"a.odb", "-"}, {""},
    };
    for (const auto& arguments : bad)
        EXPECT_NE(ParseCommandLine(arguments).error, "") << testing::PrintToString(arguments);
}

TEST(CommandLine, MessageHtmlBecomesPlainText)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Please select a valid folder path.", "Please select a valid folder path."},
        {"done.Saved file(s) location is:<br><a href='/o/R&amp;D'>/o/R&amp;D</a>", "done.Saved file(s) location is:\n/o/R&D"},
        {"<b>a</b> &lt;b&gt; <BR/>c", "a <b> \nc"},
        {"cut <tag", "cut <tag"},
    };
    for (const auto& [html, text] : cases)
        EXPECT_EQ(HtmlToText(html), text) << html;
}

TEST(ProgressEstimateText, ProjectsFromTheFirstStep)
{
    ProgressEstimate estimate;
    estimate.SetRange(4);
    EXPECT_EQ(estimate.Text(), "");
    estimate.SetPosition(0, 1000);
    EXPECT_EQ(estimate.Text(), "");
    estimate.SetPosition(1, 1000);          // first step: completion = now
    EXPECT_EQ(estimate.Text().rfind("25.00% complete. Estimated completion: ", 0), 0u);
    estimate.SetPosition(2, 1060);          // half done after 60 s: total 120 s from the start
    ProgressEstimate reference;
    reference.SetRange(1);
    reference.SetPosition(1, 1120);         // 100% at the projected time, for its clock text
    const std::string clock = reference.Text().substr(std::string("100.00% complete. Estimated completion: ").size());
    EXPECT_EQ(estimate.Text(), "50.00% complete. Estimated completion: " + clock);
    estimate.SetRange(3);                   // a new range starts over
    EXPECT_EQ(estimate.Text(), "");
}

} // namespace
} // namespace tavrin::cli
