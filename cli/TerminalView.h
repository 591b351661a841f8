// What tavrin-repair shows of a batch (it has no window): activity-log lines on a stream (coloured on a
// terminal), one progress line redrawn in place on a terminal, message texts on stderr.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "cli/ProgressEstimate.h"
#include "engine/BatchReporter.h"

namespace tavrin::cli {

class TerminalView : public BatchReporter {
public:
    struct Settings {
        FILE* logStream = stdout; // null: no log lines
        bool color = false;       // ANSI colours on the log lines
        bool progress = false;    // draw the progress line (only on a terminal)
        bool finalMessage = true; // print the closing message of the save
    };

    TerminalView(std::vector<std::string> jobs, std::string destination, bool media, Settings settings);

    // Texts shown to the user carry `to` where the engine wrote `from` (the staging
    // folder the engine saves into is shown as the output folder).
    void SetDisplayedPath(const std::string& from, const std::string& to);
    // A line on stderr from outside the batch (the Ctrl-C notices), without tearing the progress line.
    void Notice(const std::string& text);
    // Clears the progress line, if one is drawn.
    void Finish();

    std::vector<int> JobStates() const;

    void AddLogLine(const std::string& text, Colour colour) override;
    void ClearLog() override {}
    void SetProgressRange(ProgressBar bar, int maximum) override;
    void SetProgressPosition(ProgressBar bar, int position) override;
    void ShowProgressControls(bool show) override;
    void ShowTotalProgressOnly(bool show) override;
    int JobCount() override;
    std::string JobPath(int index) override;
    int JobState(int index) override;
    void SetJobState(int index, int state) override;
    std::string DestinationText() override;
    bool ExtractMediaChecked() override;
    int MessageBox(const std::string& html, const std::string& caption, unsigned style, bool ownedByView) override;

private:
    std::string Displayed(std::string text) const;
    void ClearProgressLocked();
    void DrawProgressLocked(bool force);

    mutable std::mutex mutex_;
    std::vector<std::string> jobs_;
    std::vector<int> states_;
    std::string destination_;
    bool media_;
    Settings settings_;
    std::string displayFrom_;
    std::string displayTo_;
    ProgressEstimate file_;
    ProgressEstimate total_;
    bool fileShown_ = false;
    bool totalShown_ = false;
    int linesDrawn_ = 0;
    std::chrono::steady_clock::time_point lastDraw_{};
};

} // namespace tavrin::cli
