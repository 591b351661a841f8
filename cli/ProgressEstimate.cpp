#include "cli/ProgressEstimate.h"

#include <cmath>
#include <cstdio>

namespace tavrin::cli {

void ProgressEstimate::SetRange(int maximum)
{
    maximum_ = maximum;
    position_ = 0;
    fraction_ = 0;
    started_ = false;
}

void ProgressEstimate::SetPosition(int position, std::time_t now)
{
    position_ = position;
    if (maximum_ <= 0)
        return;
    fraction_ = static_cast<double>(position) / maximum_;
    if (!(fraction_ > 0))
        return;
    if (!started_) {
        started_ = true;
        start_ = now;
    }
    const double elapsed = std::difftime(now, start_);
    completion_ = start_ + static_cast<std::time_t>(std::llround(elapsed / fraction_));
}

std::string ProgressEstimate::Text() const
{
    if (!started_)
        return {};
    std::tm local{};
    char clock[128] = {};
    if (::localtime_r(&completion_, &local) != nullptr)
        std::strftime(clock, sizeof clock, "%X", &local);
    const double shown = maximum_ > 0 ? 100.0 * position_ / maximum_ : 0.0;
    char text[256];
    std::snprintf(text, sizeof text, "%.2f%% complete. Estimated completion: %s", shown, clock);
    return text;
}

} // namespace tavrin::cli
