// Every state the batches put the window's controls into, one named sequence per
// phase, so the whole control flow of the window is read in one place.
#pragma once

#include "engine/ThreadContext.h"
#include "engine/WindowView.h"

namespace tavrin {

// The window of `context`, or one that shows nothing when the front end has none.
WindowView& WindowOf(const ThreadContext& context);

// Repair: the preview let go before the workspace is wiped.
void ShowWorkspaceReleased(WindowView& window);
// Repair pressed: everything but Stop disabled, the preview says it is repairing.
void ShowRepairStarting(WindowView& window);
// The worker has started: the progress rows take their room.
void ShowRepairRunning(WindowView& window);
// The repair ended (also after a stop): Save and the destination row enabled, the
// hint explains the preview and the save.
void ShowRepairFinished(WindowView& window);
// Stop confirmed: the Stop button stays, disabled, until the batch ends.
void ShowStopRequested(WindowView& window);
// Save started: everything but Stop disabled, only the total progress row shown.
void ShowSaveRunning(WindowView& window);
// The save ended: the commands enabled again, the progress rows gone.
void ShowSaveFinished(WindowView& window);

} // namespace tavrin
