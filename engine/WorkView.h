// The one seam between the recovery engine and whatever shows its work.
//
// The repair and save batches run on a worker thread and report only through this
// interface: log lines, progress bars, the preview picture, control states, the hint
// text, the job list and the destination. The desktop program implements it with
// widgets (every call is carried out on the GUI thread while the worker waits), the
// command-line program with a terminal, and the tests with a recorder.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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

// Message states of the preview picture box: the text it shows while it holds no picture.
enum class PictureState : int {
    NoFiles = 0,          // "No .odb file(s) is available\n in the list"
    SelectToRepair = 1,   // "Select .odb file(s)\n to repair"
    Repairing = 2,        // "Please wait while .odb file(s)\n are repairing...."
    SelectForPreview = 3, // "Select .odb file(s)\n to see preview"
    NoImage = 4,          // "No image is present \n in the selected .odb file(s)"
    NotRepaired = 5,      // "Selected .odb file(s)\n is not repaired...."
    NoText = 6,           // no text; used while a picture is shown
};

// A character range [start, end) of the hint text drawn in the emphasis format.
using TextRange = std::pair<int, int>;

class WorkView {
public:
    virtual ~WorkView() = default;

    // Activity log
    virtual void AddLogLine(const std::string& text, Colour colour) = 0;
    virtual void ClearLog() = 0;

    // Progress bars
    virtual void SetProgressRange(ProgressBar bar, int maximum) = 0;
    virtual void SetProgressPosition(ProgressBar bar, int position) = 0;

    // Preview picture box; an empty path clears the picture and shows the state's text.
    virtual void SetPicture(const std::string& path, PictureState state) = 0;

    // Control states
    virtual void EnableRepairButtons(bool enable) = 0;
    virtual void EnableSaveControls(bool enable) = 0;
    virtual void ShowProgressControls(bool show) = 0;
    // Hides the file progress row and shows or hides the total progress row.
    virtual void ShowTotalProgressOnly(bool show) = 0;
    virtual void SetSelectEnabled(bool enable) = 0;
    virtual void SetRepairStarted(bool started) = 0;
    virtual void ShowStopButton(bool show, bool enable) = 0;
    virtual void SetHintText(const std::string& text, const std::vector<TextRange>& emphasis) = 0;
    // Lay the view out again after progress rows appeared or went away.
    virtual void Relayout() = 0;

    // Job list: item text is the package path, item data its repair state (1 repaired).
    virtual int JobCount() = 0;
    virtual std::string JobPath(int index) = 0;
    virtual int JobState(int index) = 0;
    virtual void SetJobState(int index, int state) = 0;

    // Destination row
    virtual std::string DestinationText() = 0;
    virtual bool ExtractMediaChecked() = 0;

    // A modal message with an HTML text; returns the pressed button's id.
    // ownedByView: the box is owned by the work view rather than by no window.
    virtual int MessageBox(const std::string& html, const std::string& caption, unsigned style,
                           bool ownedByView = false) = 0;
};

} // namespace tavrin
