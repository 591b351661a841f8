// What a repair or save batch reports while it runs, and what it asks: log lines,
// progress, the jobs and their results, the destination, and questions to the user.
// Every front end implements it: the desktop window, the terminal, the tests' recorder.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

// 0x00BBGGRR, red in the low byte.
using Colour = std::uint32_t;
inline constexpr Colour kBlack = 0x000000;
inline constexpr Colour kRed = 0x0000FF;
inline constexpr Colour kGreen = 0x009900;

// Message box styles and answers the engine uses.
inline constexpr unsigned kMbOkInformation = 0x40;
inline constexpr unsigned kMbYesNoQuestion = 0x24;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

enum class ProgressBar { File, Total };

class BatchReporter {
public:
    virtual ~BatchReporter() = default;

    // Activity log
    virtual void AddLogLine(const std::string& text, Colour colour) = 0;
    virtual void ClearLog() = 0;

    // Progress: which bars a batch drives, their ranges and positions.
    virtual void ShowProgressControls(bool show) = 0;
    // Hides the file progress and shows or hides the total progress.
    virtual void ShowTotalProgressOnly(bool show) = 0;
    virtual void SetProgressRange(ProgressBar bar, int maximum) = 0;
    virtual void SetProgressPosition(ProgressBar bar, int position) = 0;

    // Jobs: the package paths and their repair state (1 repaired).
    virtual int JobCount() = 0;
    virtual std::string JobPath(int index) = 0;
    virtual int JobState(int index) = 0;
    virtual void SetJobState(int index, int state) = 0;

    // Where the save writes, and whether it copies the pictures.
    virtual std::string DestinationText() = 0;
    virtual bool ExtractMediaChecked() = 0;

    // A modal message with an HTML text; returns the pressed button's id.
    // ownedByView: the box is owned by the window rather than by no window.
    virtual int MessageBox(const std::string& html, const std::string& caption, unsigned style,
                           bool ownedByView = false) = 0;
};

} // namespace tavrin
