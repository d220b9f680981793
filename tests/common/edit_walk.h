// tests/common/edit_walk.h - one walk through qiv's edit keys, pressed in a
// real window and checked in what --verbose logs, for the Linux build's and
// the Windows build's tests alike.
//
// Started with --start 20000 on the default production, the walk is Space
// (pause in segment 2), Right (one second on), Page Down (segment 3's first
// millisecond), [ (loop in there), L (loop on over the segment) and Home (the
// loop's start), then Escape. After each key but Escape, --verbose logs the
// overlay line "qiv: edit: 21.234 s  segment 2 part2 ...".
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// The "qiv: edit: " lines of a run's stderr, in order, without the prefix.
std::vector<std::string> edit_walk_lines(const std::string& err);
// The show time at the start of an overlay line, in ms.
uint32_t edit_walk_ms(const std::string& line);
// Waits (until `done`) for a window titled "qiv edit..." on the X server of
// `env` and presses the walk's keys in it, `delay_ms` apart.
void edit_walk_press(const std::vector<std::string>& env, const std::atomic<bool>& done, int delay_ms);
// Checks the six overlay lines the walk logs (gtest expectations).
void edit_walk_expect(const std::string& err);
