// How a capture's frames are cut into parts for several processes: the parts
// cover the run without gap or overlap, each later part starts on the video's
// group-of-pictures grid and on a frame that clears (a segment runs), and
// split points that cannot be placed are dropped rather than bent.
#include <gtest/gtest.h>

#include "shell/capture.h"
#include "shell/capture_jobs.h"
#include "shell/timeline.h"

namespace {

void expect_sound_split(const std::vector<capture_part>& parts, uint32_t fps, int64_t first, int64_t last,
                        int64_t gop)
{
    ASSERT_FALSE(parts.empty());
    EXPECT_EQ(parts.front().first, first);
    EXPECT_EQ(parts.back().last, last);
    for (size_t i = 0; i < parts.size(); ++i) {
        EXPECT_EQ(parts[i].index, static_cast<int>(i));
        EXPECT_LE(parts[i].first, parts[i].last);
        if (i == 0)
            continue;
        EXPECT_EQ(parts[i].first, parts[i - 1].last + 1);
        EXPECT_EQ((parts[i].first - first) % gop, 0);
        EXPECT_NE(timeline_segment(capture_frame_time(parts[i].first, fps)), 0) << parts[i].first;
    }
}

}  // namespace

TEST(CaptureSplit, PartsCoverTheRunAndStartWhereASegmentClears)
{
    int64_t first = 0, last = 0;
    capture_frame_range(30, 0, 131500, first, last);
    auto two = capture_split(30, first, last, 2, 30);
    ASSERT_EQ(two.size(), 2u);
    expect_sound_split(two, 30, first, last, 30);
    EXPECT_EQ(two[1].first, 1980);  // the middle of 3946 frames, on the one-second grid

    for (uint32_t jobs : {3u, 4u, 7u, 16u})
        expect_sound_split(capture_split(30, first, last, jobs, 30), 30, first, last, 30);
    expect_sound_split(capture_split(25, 0, 3287, 5, 1), 25, 0, 3287, 1);

    // 39.5 s to 40.5 s at 10 fps, frames 395..405: the middle, frame 400 (t = 40000),
    // draws no segment, so the second part starts at 401.
    auto mid = capture_split(10, 395, 405, 2, 1);
    ASSERT_EQ(mid.size(), 2u);
    EXPECT_EQ(mid[1].first, 401);

    // From 129 s to the end: every frame after 130 s clears nothing, so parts
    // only start before it.
    capture_frame_range(30, 129000, 131500, first, last);
    for (uint32_t jobs : {2u, 4u}) {
        auto tail = capture_split(30, first, last, jobs, 1);
        expect_sound_split(tail, 30, first, last, 1);
        for (const capture_part& p : tail)
            EXPECT_LT(capture_frame_time(p.first, 30), 130000u);
    }
}

TEST(CaptureSplit, ShortRunsAndSingleJobsStayWhole)
{
    auto one = capture_split(30, 450, 1200, 1, 30);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].first, 450);
    EXPECT_EQ(one[0].last, 1200);
    EXPECT_EQ(capture_split(10, 150, 160, 2, 10).size(), 2u);   // 11 frames: 150..159, 160
    EXPECT_EQ(capture_split(10, 150, 159, 2, 10).size(), 1u);   // one group of pictures only
    EXPECT_EQ(capture_split(30, 10, 12, 8, 1).size(), 3u);      // never more parts than frames
    EXPECT_EQ(capture_split(30, 3930, 3945, 2, 1).size(), 1u);  // 131 s..131.5 s: no frame clears
    auto empty = capture_split(30, 5, 4, 4, 1);
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_GT(empty[0].first, empty[0].last);
}
