#ifndef GOMA_SECUREBYTES_H
#define GOMA_SECUREBYTES_H
// Byte buffers for plaintext: every block they give back to the heap is wiped first.
#include <cstddef>
#include <new>
#include <string.h>
#include <vector>

namespace goma {

inline void wipeMemory(void *p, std::size_t n) noexcept
{
    if (p && n)
        explicit_bzero(p, n);
}

template <class T> struct WipingAllocator {
    using value_type = T;
    WipingAllocator() noexcept = default;
    template <class U> WipingAllocator(const WipingAllocator<U> &) noexcept {}
    T *allocate(std::size_t n) { return static_cast<T *>(::operator new(n * sizeof(T))); }
    void deallocate(T *p, std::size_t n) noexcept
    {
        wipeMemory(p, n * sizeof(T));
        ::operator delete(p);
    }
    template <class U> bool operator==(const WipingAllocator<U> &) const noexcept { return true; }
};

// No small-buffer storage (unlike std::string), so nothing escapes the wipe.
using SecureBytes = std::vector<char, WipingAllocator<char>>;

inline void append(SecureBytes &out, const char *p, std::size_t n) { out.insert(out.end(), p, p + n); }

} // namespace goma
#endif
