// Makes permission bits count for the calling thread and the threads it starts while
// the object lives. The tests run as root on CI, and root passes every permission
// check unless it gives up the capabilities that let it: a read-only folder would
// otherwise test nothing there. For any other user this does nothing.
#pragma once

#include <cstdint>

namespace tavrin::test {

class PermissionChecks {
public:
    PermissionChecks();
    ~PermissionChecks();
    PermissionChecks(const PermissionChecks&) = delete;
    PermissionChecks& operator=(const PermissionChecks&) = delete;

    // False when permission bits still do not bind this thread (capabilities could not
    // be dropped); a test then cannot show what it means to.
    bool Binding() const { return binding_; }

private:
    bool dropped_ = false;
    bool binding_ = false;
    std::uint32_t savedEffective_[2] = {0, 0};
};

} // namespace tavrin::test
