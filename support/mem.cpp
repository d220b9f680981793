// support/mem.cpp - labelled allocation and PASSTR (see mem.h).
#include "support/mem.h"

#include <cstdlib>

#include "support/error.h"

char PASSTR_BUFFER[512];

void* mem_alloc(size_t size, const std::string& label, bool clear)
{
    void* block = clear ? std::calloc(size ? size : 1, 1) : std::malloc(size ? size : 1);
    if (!block)
        fatal_raise("out of memory: cannot allocate " + std::to_string(size) + " bytes for \"" +
                    label + "\"");
    return block;
}

void* MEM_GET(int32_t size, const std::string& label)
{
    if (size < 0)
        fatal_raise("cannot allocate a negative size (" + std::to_string(size) + ") for \"" +
                    label + "\"");
    return mem_alloc(static_cast<size_t>(size), label, false);
}

void MEM_FREE(void*& block)
{
    std::free(block);
    block = nullptr;
}

void MEM_INFO(const std::string&) {}

void mem_release(void* block)
{
    std::free(block);
}

char* PASSTR(const std::string& text)
{
    if (text.size() > 512)
        return nullptr;
    size_t n = text.size() < sizeof(PASSTR_BUFFER) ? text.size() : sizeof(PASSTR_BUFFER) - 1;
    std::memcpy(PASSTR_BUFFER, text.data(), n);
    PASSTR_BUFFER[n] = 0;
    return PASSTR_BUFFER;
}
