// shell/edit.h - qiv --edit: the show in a window for its author.
//
// The show plays on an edit clock that can stop, jump and loop, the music
// following it: Space pauses and resumes; Left and Right seek a second (with
// Shift a tenth; a beat when the score sets bpm); Page Up and Page Down jump
// to the previous or next segment's start, Home to the show's start; [ and ]
// set a loop's in and out points at the current time, and L turns looping on
// or off (over the current segment until [ or ] set a range). While looping
// the time stays in the loop: a seek outside it lands on the loop's start.
// Past the show's end it starts again. Every seek, pause and loop restarts the music
// at the show time (bass_play_music_from), so the sound is in step within
// one audio buffer. A line of text at the bottom shows the time, the
// segment, the scene frame, the loop range and the frames per second. Every
// file of the show is watched; a change is played at the same time position
// and a broken file is told on stderr and on screen while the last good show
// plays on (shell/edit_watch.cpp). With --verbose, the frame costs around
// each reload are reported: the median and worst of the 60 frames before and
// the 60 after it, and the reload frame itself.
//
// The edit state is plain data driven by edit_key with the real clock given
// by the caller, so its rules can be checked without a window.
#pragma once

#include <cstdint>
#include <string>

struct edit_state {
    uint32_t anchor_real = 0;     // real ms at the last anchor
    int64_t  anchor_show = 0;     // show ms at that moment
    bool     paused      = false;
    bool     looping     = false;
    bool     range_set   = false; // [ or ] gave a range of the author's own
    uint32_t loop_in     = 0;     // ms, inclusive
    uint32_t loop_out    = 0;     // ms, exclusive
    double   fps         = 0;     // frames per second, over the last second
};

extern edit_state EDIT;

enum edit_key_name { EDIT_KEY_SPACE, EDIT_KEY_LEFT, EDIT_KEY_RIGHT, EDIT_KEY_PAGE_UP, EDIT_KEY_PAGE_DOWN,
                     EDIT_KEY_HOME, EDIT_KEY_LOOP_IN, EDIT_KEY_LOOP_OUT, EDIT_KEY_LOOP };

// Starts the edit clock at show time `start` (real clock `now`).
void     edit_begin(uint32_t now, uint32_t start);
// The show time at real time `now`: held while paused, looped, wrapped at the end.
uint32_t edit_time(uint32_t now);
// One key: what the author asked for, at real time `now`.
void     edit_key(edit_key_name key, bool shift, uint32_t now);
// The step of Left and Right: a second, a tenth with Shift, a beat with bpm.
uint32_t edit_step_ms(bool shift);
// The loop range that L turns on: the author's, else the segment holding t
// (the whole show between segments).
void     edit_loop_range(uint32_t t, uint32_t& in, uint32_t& out);
// The overlay line for show time t.
std::string edit_overlay(uint32_t t);
// The edit run: the show in a window until Escape or a close.
void     shell_run_edit();
// The music from show time t (held while paused).
void     edit_restart_music(uint32_t t);

// Watching the show's files (shell/edit_watch.cpp): what the show uses now,
// one look at the files per frame (real ms, show ms), and the last reload's
// failure ("" when the show on screen is what the files say).
void               edit_watch_begin();
bool               edit_watch_step(uint32_t now, uint32_t t);  // true: the show was rebuilt
const std::string& edit_watch_error();
