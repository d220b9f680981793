// cmake/sanitize_new_throws.cpp - linked into the kestrel tool of a sanitizer
// build (QIV_SANITIZE) and into the import fuzz target, and only there.
//
// AddressSanitizer's own operator new never throws: when it cannot have a
// block (the address-space cap of `kestrel import` refuses the mapping) it
// prints an out-of-memory report and aborts, even with
// allocator_may_return_null=1. The importer relies on the C++ answer: assimp
// turns std::bad_alloc into a read error, which the tool reports naming the
// model file, as a plain build does. These replacements take their memory
// from the sanitizer's malloc, which returns null there (./run sanitize sets
// allocator_may_return_null=1), and throw as the standard library's do. New
// and delete stay paired through malloc and free, so leaks, overflows and use
// after free are still found; only a delete that does not match its new
// (delete for new[]) goes unseen in this program.
#include <cstddef>
#include <cstdlib>
#include <new>

static void* sanitize_new_block(std::size_t size, std::size_t align)
{
    if (size == 0)
        size = 1;
    for (;;) {
        void* p = nullptr;
        if (align <= alignof(std::max_align_t))
            p = std::malloc(size);
        else if (posix_memalign(&p, align, size) != 0)
            p = nullptr;
        if (p)
            return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler)
            throw std::bad_alloc();
        handler();
    }
}

static void* sanitize_new_nothrow(std::size_t size, std::size_t align) noexcept
{
    try {
        return sanitize_new_block(size, align);
    } catch (...) {
        return nullptr;
    }
}

// clang-format off
void* operator new(std::size_t n) { return sanitize_new_block(n, 0); }
void* operator new[](std::size_t n) { return sanitize_new_block(n, 0); }
void* operator new(std::size_t n, std::align_val_t a) { return sanitize_new_block(n, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return sanitize_new_block(n, static_cast<std::size_t>(a)); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return sanitize_new_nothrow(n, 0); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return sanitize_new_nothrow(n, 0); }
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept
{ return sanitize_new_nothrow(n, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept
{ return sanitize_new_nothrow(n, static_cast<std::size_t>(a)); }

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
// clang-format on
