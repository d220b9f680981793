// platform/sdl/os.cpp - operating-system services on Linux (see os.h).
//
// The executable's path is the kernel's /proc/self/exe link; the clock is
// std::chrono::steady_clock (CLOCK_MONOTONIC), which no change of the wall
// clock moves.
#include "platform/os.h"

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

std::string os_executable_path()
{
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

uint32_t os_ticks_ms()
{
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void os_sleep_ms(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
