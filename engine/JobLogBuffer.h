// What one job of a batch that runs several jobs at once reports, held back until the
// job is done so that its log lines reach the front end in one block, never mixed with
// the lines of a job running beside it.
//
// Log lines and information messages are kept in their order and replayed; questions
// are asked at once (the job waits for the answer); the progress of one job among
// several means nothing to the user and is dropped (the batch drives the total bar).
// Everything else goes straight to the front end's reporter.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "engine/BatchReporter.h"

namespace tavrin {

class JobLogBuffer : public BatchReporter {
public:
    // `frontEnd` is shared with the other jobs; `frontEndMutex` is held around each
    // sequence of calls on it that must not be split (a question after its job's path).
    JobLogBuffer(BatchReporter& frontEnd, std::mutex& frontEndMutex, int jobIndex, std::string jobPath);

    // Hands what was held back to the front end, in order; the caller holds frontEndMutex.
    void ReplayLocked();

    void AddLogLine(const std::string& text, Colour colour) override;
    void ClearLog() override {}
    void ShowProgressControls(bool) override {}
    void ShowTotalProgressOnly(bool) override {}
    void SetProgressRange(ProgressBar, int) override {}
    void SetProgressPosition(ProgressBar, int) override {}
    int JobCount() override;
    std::string JobPath(int index) override;
    int JobState(int index) override;
    void SetJobState(int index, int state) override;
    std::string DestinationText() override;
    bool ExtractMediaChecked() override;
    int MessageBox(const std::string& html, const std::string& caption, unsigned style, bool ownedByView) override;

private:
    struct Held {
        bool isMessage = false;
        std::string text; // the line, or the message's HTML
        Colour colour = kBlack;
        std::string caption;
        unsigned style = 0;
        bool ownedByView = false;
    };

    BatchReporter& frontEnd_;
    std::mutex& frontEndMutex_;
    const int jobIndex_;
    const std::string jobPath_;
    std::vector<Held> held_;
};

} // namespace tavrin
