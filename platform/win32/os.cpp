// platform/win32/os.cpp - operating-system services on Windows (see os.h).
//
// The executable's path comes from GetModuleFileNameA (grown until it fits);
// the clock is QueryPerformanceCounter, Windows' monotonic high-resolution
// timer, scaled by its frequency in 128-bit steps so that a long-running
// counter does not overflow the multiplication; Sleep waits.
#include "platform/os.h"

#include <windows.h>

#include <vector>

std::string os_executable_path()
{
    std::vector<char> path(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return "";
        if (n < path.size())
            return std::string(path.data(), n);
        path.resize(path.size() * 2);
    }
}

uint32_t os_ticks_ms()
{
    static LARGE_INTEGER frequency{};
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    unsigned __int128 ms = static_cast<unsigned __int128>(now.QuadPart) * 1000u /
                           static_cast<unsigned __int128>(frequency.QuadPart);
    return static_cast<uint32_t>(ms);
}

void os_sleep_ms(uint32_t ms)
{
    Sleep(ms);
}
