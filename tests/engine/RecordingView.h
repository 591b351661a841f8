// A WorkView that writes down every call, for exact transcripts of the batches.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/WorkView.h"

namespace tavrin::test {

class RecordingView : public WorkView {
public:
    struct Job {
        std::string path;
        int state = 0;
    };

    std::vector<Job> jobs;
    std::string destination;
    bool extractMedia = true;
    // Answers given to message boxes in turn; kIdOk once they run out.
    std::vector<int> answers;
    // Called after every log line, e.g. to play a user who stops the batch at a given line.
    std::function<void(const std::string&)> onLogLine;

    // Every call in order, one line each, with the substitutions applied.
    std::vector<std::string> events;
    // The log lines alone, as (colour, text).
    std::vector<std::pair<Colour, std::string>> log;
    std::vector<std::string> messages;

    // Replaces `from` with `to` in every recorded text (machine-specific paths).
    void Substitute(const std::string& from, const std::string& to) { substitutions_.emplace_back(from, to); }
    std::string Transcript() const;

    void AddLogLine(const std::string& text, Colour colour) override;
    void ClearLog() override;
    void SetProgressRange(ProgressBar bar, int maximum) override;
    void SetProgressPosition(ProgressBar bar, int position) override;
    void SetPicture(const std::string& path, PictureState state) override;
    void EnableRepairButtons(bool enable) override;
    void EnableSaveControls(bool enable) override;
    void ShowProgressControls(bool show) override;
    void ShowTotalProgressOnly(bool show) override;
    void SetSelectEnabled(bool enable) override;
    void SetRepairStarted(bool started) override;
    void ShowStopButton(bool show, bool enable) override;
    void SetHintText(const std::string& text, const std::vector<TextRange>& emphasis) override;
    void Relayout() override;
    int JobCount() override;
    std::string JobPath(int index) override;
    int JobState(int index) override;
    void SetJobState(int index, int state) override;
    std::string DestinationText() override;
    bool ExtractMediaChecked() override;
    int MessageBox(const std::string& html, const std::string& caption, unsigned style, bool ownedByView) override;

private:
    std::string Clean(std::string text) const;
    void Record(const std::string& line) { events.push_back(line); }

    std::vector<std::pair<std::string, std::string>> substitutions_;
    std::size_t nextAnswer_ = 0;
};

} // namespace tavrin::test
