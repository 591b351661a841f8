// One line of the activity log as a step of the repair says it: the text, ending in
// "\r\n", and its colour. Steps return their lines; the pipeline hands them to the view.
#pragma once

#include <string>
#include <vector>

#include "engine/BatchReporter.h"

namespace tavrin {

struct LogLine {
    std::string text;
    Colour colour = kBlack;
};

using LogLines = std::vector<LogLine>;

inline void AddLogLines(BatchReporter& view, const LogLines& lines)
{
    for (const LogLine& line : lines)
        view.AddLogLine(line.text, line.colour);
}

} // namespace tavrin
