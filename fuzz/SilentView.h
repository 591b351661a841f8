// A BatchReporter for harnesses: answers every question with a fixed value, keeps only
// the log lines and message texts so a harness can check them.
#pragma once

#include <string>
#include <vector>

#include "engine/BatchReporter.h"

namespace tavrin::fuzz {

class SilentView : public BatchReporter {
public:
    std::vector<std::string> logLines;
    std::vector<std::string> messages;

    void AddLogLine(const std::string& text, Colour) override { logLines.push_back(text); }
    void ClearLog() override { logLines.clear(); }
    void ShowProgressControls(bool) override {}
    void ShowTotalProgressOnly(bool) override {}
    void SetProgressRange(ProgressBar, int) override {}
    void SetProgressPosition(ProgressBar, int) override {}
    int JobCount() override { return 0; }
    std::string JobPath(int) override { return {}; }
    int JobState(int) override { return 0; }
    void SetJobState(int, int) override {}
    std::string DestinationText() override { return {}; }
    bool ExtractMediaChecked() override { return false; }
    int MessageBox(const std::string& html, const std::string&, unsigned, bool) override
    {
        messages.push_back(html);
        return kIdOk;
    }
};

} // namespace tavrin::fuzz
