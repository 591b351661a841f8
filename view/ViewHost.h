// What the work view needs from the window that holds it.
//
// The main frame owns the running flag and the status bar; the view only borrows them.
// Tests give the view a small host of their own.
#pragma once

#include <QString>

#include <atomic>

namespace tavrin::view {

class ViewHost {
public:
    virtual ~ViewHost() = default;
    // 1 while a repair or save batch runs.
    virtual std::atomic<int>& RunningFlag() = 0;
    virtual void ShowStatusText(const QString& text) = 0;
    // The Exit button: the same closing as the window's close box.
    virtual void CloseFromView() = 0;
};

} // namespace tavrin::view
