// support/mem.h - labelled allocation and the zero-terminated text buffer.
//
// Every engine array comes from MEM_GET under a descriptive label ("kstloader
// temp data", "<scene> materials", ...). Labels are accepted and dropped: the
// blocks come from the ordinary heap and nothing is recorded. A request that
// cannot be met is a fatal error naming the label and the size; MEM_GET never
// returns nullptr. mem_array<T> is the typed form the engine uses for record
// arrays: it counts in elements, refuses sizes that would overflow, and clears
// the new block so that fields no file sets read as zero.
//
// PASSTR copies a text into one shared 512-byte buffer followed by a zero byte;
// the result is valid until the next call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// Allocates size bytes (not cleared). Fatal on failure or a negative size.
void* MEM_GET(int32_t size, const std::string& label);
// Frees the block and sets the caller's reference to nullptr.
void MEM_FREE(void*& block);
// Accepts an informational text and does nothing with it.
void MEM_INFO(const std::string& message);
// Plain release that leaves the caller's reference as it is.
void mem_release(void* block);

// Allocation of any byte size (size_t), cleared or not; fatal on failure.
void* mem_alloc(size_t size, const std::string& label, bool clear);

// Typed, cleared array of n elements; n < 0 or an overflowing size is fatal.
template <class T>
T* mem_array(int64_t n, const std::string& label)
{
    if (n < 0 || static_cast<uint64_t>(n) > SIZE_MAX / sizeof(T) / 2)
        mem_alloc(SIZE_MAX, label, false);  // reports the failure
    return static_cast<T*>(mem_alloc(static_cast<size_t>(n) * sizeof(T), label, true));
}

// Frees a typed block and clears the reference.
template <class T>
void mem_free_array(T*& block)
{
    mem_release(block);
    block = nullptr;
}

extern char PASSTR_BUFFER[512];
// Copies text into PASSTR_BUFFER with a zero byte after it; nullptr when the
// text is longer than 512 characters.
char* PASSTR(const std::string& text);
