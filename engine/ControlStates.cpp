#include "engine/ControlStates.h"

namespace tavrin {
namespace {

class NoWindow : public WindowView {
public:
    void SetPicture(const std::string&, PictureState) override {}
    void EnableRepairButtons(bool) override {}
    void EnableSaveControls(bool) override {}
    void SetSelectEnabled(bool) override {}
    void SetRepairStarted(bool) override {}
    void ShowStopButton(bool, bool) override {}
    void SetHintText(const std::string&, const std::vector<TextRange>&) override {}
    void Relayout() override {}
};

} // namespace

WindowView& WindowOf(const ThreadContext& context)
{
    static NoWindow none;
    return context.window != nullptr ? *context.window : none;
}

void ShowWorkspaceReleased(WindowView& window)
{
    window.SetPicture("", PictureState::NoText);
}

void ShowRepairStarting(WindowView& window)
{
    window.SetRepairStarted(true);
    window.SetPicture("", PictureState::NotRepaired);
    window.SetHintText("Please wait while .odb file(s) are Repairing....", {{19, 30}});
    window.EnableRepairButtons(false);
    window.ShowStopButton(true, true);
    window.SetSelectEnabled(false);
    window.SetPicture("", PictureState::Repairing);
}

void ShowRepairRunning(WindowView& window)
{
    window.Relayout();
}

void ShowRepairFinished(WindowView& window)
{
    window.SetPicture("", PictureState::SelectForPreview);
    window.SetSelectEnabled(true);
    window.ShowStopButton(false, false);
    window.EnableSaveControls(true);
    window.EnableRepairButtons(true);
    window.SetHintText("Click item in the list to see the preview in right side.\nClick Browse folder to select "
                       "destination path.\nClick Save.... to save .odb file(s)",
                       {{6, 22}, {62, 76}, {110, 118}, {127, 132}});
    window.Relayout();
}

void ShowStopRequested(WindowView& window)
{
    window.ShowStopButton(true, false);
}

void ShowSaveRunning(WindowView& window)
{
    window.EnableSaveControls(false);
    window.SetSelectEnabled(false);
    window.EnableRepairButtons(false);
    window.SetHintText("Please wait while .odb file(s) are saving....", {{19, 30}});
    window.ShowStopButton(true, true);
    window.Relayout();
}

void ShowSaveFinished(WindowView& window)
{
    window.SetHintText("Saving of .odb file(s) completed....\n Click exit to end the application or \nSelect new .odb "
                       "file(s) to repair....",
                       {{11, 22}});
    window.ShowStopButton(false, false);
    window.EnableSaveControls(true);
    window.SetSelectEnabled(true);
    window.EnableRepairButtons(true);
    window.Relayout();
}

} // namespace tavrin
