// The straight-line completion estimate of a progress bar: the clock time at the first
// step above 0 is the start; the finish is projected from the time since then against
// the whole fraction done.
#pragma once

#include <ctime>
#include <string>

namespace tavrin::cli {

class ProgressEstimate {
public:
    // A new range starts a new estimate.
    void SetRange(int maximum);
    // Updates the estimate with the current position at clock time `now`.
    void SetPosition(int position, std::time_t now);

    int maximum() const { return maximum_; }
    int position() const { return position_; }
    // "40.00% complete. Estimated completion: 13:05:42", or empty before the first step.
    std::string Text() const;

private:
    int maximum_ = 0;
    int position_ = 0;
    double fraction_ = 0;
    bool started_ = false;
    std::time_t start_ = 0;
    std::time_t completion_ = 0;
};

} // namespace tavrin::cli
