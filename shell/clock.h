// shell/clock.h - the one clock the main loop and the timeline read.
//
// Real mode: a millisecond counter from the system's monotonic clock
// (platform/os.h: CLOCK_MONOTONIC on Linux, QueryPerformanceCounter on Windows), as an
// unsigned 32-bit value, so differences taken with unsigned subtraction survive
// a wrap of the counter. Virtual mode (capture, timedemo): the time is whatever
// the caller set, so frame n of a capture is drawn at exactly n * 1000 / fps ms.
#pragma once

#include <cstdint>

uint32_t clock_now_ms();                 // real or virtual milliseconds
void     clock_set_virtual(bool on);     // switch to (or back from) virtual time
void     clock_set_virtual_ms(uint32_t ms);
bool     clock_is_virtual();
uint32_t clock_tick_count();             // real ticks, for seeding the generator
