// shell/clock.cpp - real and virtual millisecond clock (see clock.h).
#include "shell/clock.h"

#include <atomic>

#include "platform/os.h"

static std::atomic<bool>     clock_virtual{false};
static std::atomic<uint32_t> clock_virtual_ms{0};

uint32_t clock_tick_count()
{
    return os_ticks_ms();
}

uint32_t clock_now_ms()
{
    return clock_virtual ? clock_virtual_ms.load() : clock_tick_count();
}

void clock_set_virtual(bool on)
{
    clock_virtual = on;
}

void clock_set_virtual_ms(uint32_t ms)
{
    clock_virtual_ms = ms;
}

bool clock_is_virtual()
{
    return clock_virtual;
}
