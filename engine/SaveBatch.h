// The save batch: rebuilds every repaired job's package from its package folder into
// the destination folder as TAVRINREP_<file name>, and on request copies its pictures
// into <file name>_MediaContent beside it.
//
// Use: on the GUI thread call StartSave(context); when it returns true run
// SaveThreadProc(context) on a worker thread (the front end owns and joins it).
#pragma once

#include "engine/ThreadContext.h"

namespace tavrin {

// The Save command's check: while a batch runs it shows "Please stop the running
// process before saving the file(s)." and returns false; otherwise true.
bool StartSave(ThreadContext& context);

// The worker. Returns 0 when the destination was refused, 1 when the batch ran.
int SaveThreadProc(ThreadContext& context);

} // namespace tavrin
