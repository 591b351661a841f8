// Every allocation through operator new in this test program is refused above a
// ceiling far beyond what any honest package here needs: a size taken from a damaged
// header (up to 4 GiB) that reached an allocation would end the test with a clear
// message rather than pass on a machine with memory to spare.
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t kCeiling = std::size_t{256} << 20;

void* Allocate(std::size_t size)
{
    if (size > kCeiling) {
        std::fprintf(stderr, "allocation of %zu bytes refused: a size from a header reached an allocation\n", size);
        std::abort();
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

} // namespace

// Every plain and nothrow form comes through here, so that under AddressSanitizer
// nothing allocated by its own operator new is released by ours.
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
