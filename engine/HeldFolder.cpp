#include "engine/HeldFolder.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

#include "engine/PictureWalk.h"
#include "zip/CompressionPool.h"

namespace tavrin {
namespace {

std::atomic<std::uint64_t> heldBytes{0};

struct Registry {
    std::mutex lock;
    std::map<std::string, std::shared_ptr<HeldFolder>> folders;
};

// Folders are found by their path without trailing '/'.
std::string FolderKey(const std::string& path)
{
    std::string key = path;
    while (key.size() > 1 && key.back() == '/')
        key.pop_back();
    return key;
}

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

// Top-level folders whose members the repair reads or rewrites.
constexpr std::array<std::string_view, 4> kReadFolders = {"META-INF", "database", "Pictures", "Thumbnails"};
// Names the repair reads wherever they stand (a form's or report's own documents).
constexpr std::array<std::string_view, 6> kReadNames = {"content.xml", "styles.xml", "settings.xml",
                                                         "meta.xml",    "manifest.xml", "mimetype"};

} // namespace

std::shared_ptr<HeldFolder> HeldFolder::Start(const std::string& packageFolder)
{
    auto held = std::make_shared<HeldFolder>();
    Registry& registry = TheRegistry();
    const std::lock_guard guard(registry.lock);
    registry.folders[FolderKey(packageFolder)] = held;
    return held;
}

std::shared_ptr<const HeldFolder> HeldFolder::Of(const std::string& packageFolder)
{
    Registry& registry = TheRegistry();
    const std::lock_guard guard(registry.lock);
    const auto found = registry.folders.find(FolderKey(packageFolder));
    return found == registry.folders.end() ? nullptr : found->second;
}

void HeldFolder::ForgetAt(const std::string& path)
{
    const std::string folder = FolderKey(path);
    const std::string inside = folder + "/";
    std::vector<std::shared_ptr<HeldFolder>> forgotten; // freed outside the lock
    Registry& registry = TheRegistry();
    const std::lock_guard guard(registry.lock);
    for (auto at = registry.folders.lower_bound(folder); at != registry.folders.end();) {
        if (at->first != folder && at->first.compare(0, inside.size(), inside) != 0) {
            // Names between "<folder>" and "<folder>/" in byte order ("<folder>-2",
            // "<folder>.x") are beside it, not inside: step over them.
            if (at->first.compare(0, folder.size(), folder) != 0)
                break;
            ++at;
            continue;
        }
        forgotten.push_back(std::move(at->second));
        at = registry.folders.erase(at);
    }
}

bool HeldFolder::MayHold(const std::string& relativePath)
{
    const std::size_t firstSlash = relativePath.find('/');
    if (firstSlash == std::string::npos)
        return false; // top-level files are the package's own documents
    const std::string_view top(relativePath.data(), firstSlash);
    for (const std::string_view read : kReadFolders)
        if (top == read)
            return false;
    const std::string_view last = std::string_view(relativePath).substr(relativePath.rfind('/') + 1);
    for (const std::string_view read : kReadNames)
        if (last == read)
            return false;
    if (last.empty() || IsPictureName(std::string(last)))
        return false;
    for (const char c : relativePath)
        if (c < 0x20 || c > 0x7e || c == '%')
            return false;
    return true;
}

std::size_t HeldFolder::Cost(const std::string& relativePath, std::size_t size)
{
    // A map node and a pool piece, and the name twice over (the key and the
    // allocator's rounding); the bytes twice, as they are and deflated.
    constexpr std::size_t kEntryCost = 256;
    return 2 * size + 2 * relativePath.size() + kEntryCost;
}

HeldFolder::~HeldFolder()
{
    heldBytes.fetch_sub(bytes_);
}

bool HeldFolder::Reserve(std::size_t cost)
{
    std::uint64_t now = heldBytes.load();
    do {
        if (cost > kHeldBytesBudget || now > kHeldBytesBudget - cost)
            return false;
    } while (!heldBytes.compare_exchange_weak(now, now + cost));
    bytes_ += cost;
    return true;
}

void HeldFolder::Unreserve(std::size_t cost)
{
    heldBytes.fetch_sub(cost);
    bytes_ -= cost;
}

void HeldFolder::Keep(const std::string& relativePath, std::string bytes, std::size_t reserved)
{
    const auto [slot, added] = files_.try_emplace(relativePath);
    // The reservation, and an earlier copy of the same name, give their share back.
    const std::size_t released = reserved + (added ? 0 : Cost(relativePath, slot->second.Size()));
    const std::size_t cost = Cost(relativePath, bytes.size());
    heldBytes.fetch_add(cost);
    bytes_ += cost;
    if (!pool_)
        pool_ = zip::CompressionPool::Shared();
    // Deflated on the pool's workers while the repair goes on, so the save only writes.
    slot->second = zip::MemoryFile(bytes, pool_);
    Unreserve(released);
}

void HeldFolder::Drop(const std::string& relativePath)
{
    const auto found = files_.find(relativePath);
    if (found == files_.end())
        return;
    Unreserve(Cost(relativePath, found->second.Size()));
    files_.erase(found);
}

} // namespace tavrin
