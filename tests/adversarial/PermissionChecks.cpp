#include "PermissionChecks.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tavrin::test {
namespace {

// Capabilities are per thread: capset on this thread leaves the others alone, and a
// thread started afterwards inherits this thread's set.
bool GetCapabilities(__user_cap_data_struct (&data)[2])
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capget, &header, data) == 0;
}

bool SetCapabilities(__user_cap_data_struct (&data)[2])
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capset, &header, data) == 0;
}

constexpr std::uint32_t kOverrides =
    (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);

} // namespace

PermissionChecks::PermissionChecks()
{
    if (::geteuid() != 0) {
        binding_ = true;
        return;
    }
    __user_cap_data_struct data[2] = {};
    if (!GetCapabilities(data))
        return;
    savedEffective_[0] = data[0].effective;
    savedEffective_[1] = data[1].effective;
    data[0].effective &= ~kOverrides;
    dropped_ = SetCapabilities(data);
    binding_ = dropped_;
}

PermissionChecks::~PermissionChecks()
{
    if (!dropped_)
        return;
    __user_cap_data_struct data[2] = {};
    if (GetCapabilities(data)) {
        data[0].effective = savedEffective_[0];
        data[1].effective = savedEffective_[1];
        SetCapabilities(data);
    }
}

} // namespace tavrin::test
