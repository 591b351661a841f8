// What tavrin-repair shows of a batch (it has no window): activity-log lines on a stream
// (coloured on a terminal), the progress lines redrawn in place on a terminal, message
// texts on stderr. Every text is shown as PrintableName shows it: paths and names from
// damaged packages never reach the terminal as control characters.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "cli/ProgressEstimate.h"
#include "engine/BatchReporter.h"

namespace tavrin::cli {

class TerminalView : public BatchReporter {
public:
    struct Settings {
        FILE* logStream = stdout;     // null: no log lines but the red ones, on `problemStream`
        FILE* problemStream = stderr; // the red lines when there is no log
        FILE* progressStream = stderr; // where the progress is drawn (a terminal)
        bool color = false;           // ANSI colours on the log lines
        bool progress = false;        // draw the progress lines (only on a terminal that moves its cursor)
        // Called once, from the writing thread, when the log's reader went away (EPIPE).
        std::function<void()> onOutputClosed;
    };

    TerminalView(std::vector<std::string> jobs, std::string destination, bool media, Settings settings);

    // Texts shown to the user carry `to` where the engine wrote `from` (the staging
    // folder the engine saves into is shown as the output folder).
    void SetDisplayedPath(const std::string& from, const std::string& to);
    // A line on stderr from outside the batch (the Ctrl-C notices), without tearing the progress line.
    void Notice(const std::string& text);
    // Clears the progress line, if one is drawn.
    void Finish();
    // The closing message of the save (shown by the desktop in a box of the view), held
    // back so the front end says it only when something was saved; empty when none came.
    std::string FinalMessage() const;

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
    void Write(FILE* stream, const std::string& text);
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
    std::string finalMessage_;
    std::string currentJob_; // the job the batch read last, named in its error messages
    bool outputClosed_ = false;
    ProgressEstimate file_;
    ProgressEstimate total_;
    bool fileShown_ = false;
    bool totalShown_ = false;
    int linesDrawn_ = 0;
    std::chrono::steady_clock::time_point lastDraw_{};
};

} // namespace tavrin::cli
