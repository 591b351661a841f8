// The desktop window's side of the engine: what a batch reports (BatchReporter) and
// what the window shows of it (WindowView). The batches reach the window only through
// the named control-state sequences of ControlStates.h; a front end without a window
// (the terminal) implements BatchReporter alone.
#pragma once

#include "engine/BatchReporter.h"
#include "engine/WindowView.h"

namespace tavrin {

class WorkView : public BatchReporter, public WindowView {};

} // namespace tavrin
