// The edit clock of qiv --edit, driven by keys at given real times (no
// window, no sound): pause and resume, seeks by a second, a tenth and a
// beat, segment jumps that land on each segment's first millisecond, the
// loop over the current segment or an author's range, and the wrap at the
// show's end.
#include <gtest/gtest.h>

#include "shell/edit.h"
#include "shell/score.h"

TEST(Edit, KeysSeekPauseJumpAndLoop)
{
    SHOW = score_builtin();
    edit_begin(1000, 20000);
    EXPECT_EQ(edit_time(1500), 20500u);
    edit_key(EDIT_KEY_SPACE, false, 1500);  // pause at 20500
    EXPECT_EQ(edit_time(9000), 20500u);
    edit_key(EDIT_KEY_RIGHT, false, 9000);
    EXPECT_EQ(edit_time(9000), 21500u);
    edit_key(EDIT_KEY_RIGHT, true, 9000);
    EXPECT_EQ(edit_time(9000), 21600u);
    edit_key(EDIT_KEY_LEFT, false, 9000);
    EXPECT_EQ(edit_time(9000), 20600u);
    edit_key(EDIT_KEY_PAGE_DOWN, false, 9000);
    EXPECT_EQ(edit_time(9000), 40001u);  // segment 3 excludes its start
    edit_key(EDIT_KEY_PAGE_DOWN, false, 9000);
    EXPECT_EQ(edit_time(9000), 64001u);
    edit_key(EDIT_KEY_PAGE_UP, false, 9000);
    EXPECT_EQ(edit_time(9000), 40001u);
    edit_key(EDIT_KEY_PAGE_UP, false, 9000);
    EXPECT_EQ(edit_time(9000), 15000u);
    edit_key(EDIT_KEY_LEFT, false, 9000);
    EXPECT_EQ(edit_time(9000), 14000u);
    EXPECT_NE(edit_overlay(14000).find("segment 1 crest  frame 1866.7"), std::string::npos) << edit_overlay(14000);
    edit_key(EDIT_KEY_HOME, false, 9000);
    EXPECT_EQ(edit_time(9000), 0u);
    edit_key(EDIT_KEY_LEFT, false, 9000);  // not before the start
    EXPECT_EQ(edit_time(9000), 0u);

    // L loops the segment playing: segment 2 from 20000 on, back to its start at its end.
    for (int i = 0; i < 20; ++i)
        edit_key(EDIT_KEY_RIGHT, false, 9000);
    edit_key(EDIT_KEY_LOOP, false, 9000);
    edit_key(EDIT_KEY_SPACE, false, 9000);  // play
    EXPECT_EQ(edit_time(9000 + 19999), 39999u);
    EXPECT_EQ(edit_time(9000 + 20000), 15000u);
    EXPECT_EQ(edit_time(9000 + 20000 + 500), 15500u);
    EXPECT_NE(edit_overlay(15500).find("loop 15.000-40.000 on"), std::string::npos) << edit_overlay(15500);

    // [ and ] at the current time: an author's range.
    edit_key(EDIT_KEY_LOOP_IN, false, 30000);   // at 16000
    edit_key(EDIT_KEY_LOOP_OUT, false, 31000);  // at 17000
    EXPECT_EQ(EDIT.loop_in, 16000u);
    EXPECT_EQ(EDIT.loop_out, 17000u);
    EXPECT_EQ(edit_time(31000), 16000u);
    edit_key(EDIT_KEY_LOOP, false, 31000);  // off: the time runs on past the range
    EXPECT_EQ(edit_time(33000), 18000u);

    // Past the show's end it starts again; with bpm, Left and Right step a beat.
    edit_begin(0, 131400);
    EXPECT_EQ(edit_time(99), 131499u);
    EXPECT_EQ(edit_time(100), 0u);
    SHOW.bpm = 120;
    EXPECT_EQ(edit_step_ms(false), 500u);
    EXPECT_EQ(edit_step_ms(true), 500u);
    SHOW = score_builtin();
    EXPECT_EQ(edit_step_ms(true), 100u);
}
