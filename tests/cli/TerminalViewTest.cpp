#include "cli/TerminalView.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace tavrin::cli {
namespace {

std::string Render(bool color, const std::vector<std::pair<std::string, Colour>>& lines)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    FILE* stream = ::open_memstream(&buffer, &size);
    {
        TerminalView::Settings settings;
        settings.logStream = stream;
        settings.color = color;
        TerminalView view({"a.odb"}, "/staging", true, settings);
        view.SetDisplayedPath("/staging", "out");
        for (const auto& [text, colour] : lines)
            view.AddLogLine(text, colour);
    }
    std::fclose(stream);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

TEST(TerminalView, LogLinesArePlainOrColouredWithoutCarriageReturns)
{
    const std::vector<std::pair<std::string, Colour>> lines = {
        {"a.odb file is open....\r\n", kBlack},
        {"a.odb  Repaired....\r\n", kGreen},
        {"a.odb not Repaired....\r\n", kRed},
        {"____\r\n\r\n", kBlack},
    };
    EXPECT_EQ(Render(false, lines), "a.odb file is open....\na.odb  Repaired....\na.odb not Repaired....\n____\n\n");
    EXPECT_EQ(Render(true, lines), "a.odb file is open....\n\033[1;32ma.odb  Repaired....\033[0m\n"
                                   "\033[1;31ma.odb not Repaired....\033[0m\n____\n\n");
    EXPECT_EQ(Render(false, {{"saved in /staging/x....\r\n", kBlack}}), "saved in out/x....\n");
}

} // namespace
} // namespace tavrin::cli
