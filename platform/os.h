// platform/os.h - the few operating-system services the shell needs.
//
// Where the running program is (to find the data beside it), a monotonic
// millisecond clock and a sleep. Each backend implements them with its
// system's own calls: platform/sdl/os.cpp with POSIX (/proc/self/exe,
// CLOCK_MONOTONIC through std::chrono), platform/win32/os.cpp with Win32
// (GetModuleFileNameA, QueryPerformanceCounter, Sleep).
#pragma once

#include <cstdint>
#include <string>

// Full path of the running executable, or "" when the system does not say.
std::string os_executable_path();
// Milliseconds of a monotonic clock, wrapping at 2^32.
uint32_t os_ticks_ms();
// Sleeps for at least ms milliseconds.
void os_sleep_ms(uint32_t ms);
