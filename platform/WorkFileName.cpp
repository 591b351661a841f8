#include "platform/WorkFileName.h"

#include <unistd.h>

#include <atomic>

namespace tavrin::platform {

std::string WorkFileName(const std::string& kind)
{
    static std::atomic<unsigned> counter{0};
    return ".tavrin-" + kind + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

} // namespace tavrin::platform
