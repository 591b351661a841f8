// What the desktop window shows of a batch beyond its report: the states of its
// controls, the hint text and the preview picture. The batches set them only through
// the named sequences of ControlStates.h; a front end without a window has none.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tavrin {

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

class WindowView {
public:
    virtual ~WindowView() = default;

    // Preview picture box; an empty path clears the picture and shows the state's text.
    virtual void SetPicture(const std::string& path, PictureState state) = 0;

    virtual void EnableRepairButtons(bool enable) = 0;
    virtual void EnableSaveControls(bool enable) = 0;
    virtual void SetSelectEnabled(bool enable) = 0;
    virtual void SetRepairStarted(bool started) = 0;
    virtual void ShowStopButton(bool show, bool enable) = 0;
    virtual void SetHintText(const std::string& text, const std::vector<TextRange>& emphasis) = 0;
    // Lay the window out again after progress rows appeared or went away.
    virtual void Relayout() = 0;
};

} // namespace tavrin
