#include "html/IconHandleRegistry.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

namespace tavrin {
namespace {

struct Registry {
    QMutex mutex;
    QHash<int, QPixmap> pixmaps;
    int next = 0x100;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

} // namespace

int RegisterIconHandle(const QPixmap& pixmap)
{
    Registry& registry = TheRegistry();
    QMutexLocker lock(&registry.mutex);
    // Handles are not reused soon after release, so a stale text cannot pick up a new icon.
    do {
        registry.next = registry.next >= 0x7FFFFFF0 ? 0x100 : registry.next + 1;
    } while (registry.pixmaps.contains(registry.next));
    registry.pixmaps.insert(registry.next, pixmap);
    return registry.next;
}

QPixmap IconForHandle(int handle)
{
    Registry& registry = TheRegistry();
    QMutexLocker lock(&registry.mutex);
    return registry.pixmaps.value(handle);
}

void ReleaseIconHandle(int handle)
{
    Registry& registry = TheRegistry();
    QMutexLocker lock(&registry.mutex);
    registry.pixmaps.remove(handle);
}

} // namespace tavrin
