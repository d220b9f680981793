// shell/capture_jobs.h - a capture split over several processes, one per core.
//
// `qiv --capture OUT --jobs N` cuts the run's frames into at most N parts and
// renders each in a child qiv (the same command line plus a hidden
// --capture-part), all writing into one work folder beside OUT. The parent
// draws one progress bar from the frames its children report on a pipe, and
// when every part is done joins them: PNG frames are moved into OUT; video
// parts, coded losslessly, are joined by ffmpeg and coded once at the asked
// quality with the music muxed in, so that the video decodes to the frames a
// single run gives (x264 is deterministic, and it sees the same frames). A child that fails, or SIGINT / SIGTERM to the parent, stops every
// child (each runs in its own process group with its ffmpeg) and removes the
// work folder: nothing partial is left, and the status is 1 with a message.
//
// A part's pictures are the bytes a single run gives. The random generator is
// seeded alike in every child (the parent passes its seed on), and a part
// begins where a single run would be: the frames before it are replayed without
// drawing (particles and random draws, see timeline_replay_frame) and the one
// just before it is drawn in full, unwritten, so GL state and back buffer
// match. Parts start on a frame where a segment runs (it clears the frame)
// and, for video, on a group-of-pictures boundary of the whole run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/capture.h"

namespace CLI {
class App;
class Option;
}

struct capture_part {
    int     index = 0;
    int64_t first = 0;  // frame indices n of the run, inclusive
    int64_t last = -1;
};

struct capture_jobs_options {
    uint32_t             jobs = 0;  // --jobs; 0 = the number of cores
    std::vector<int64_t> part;      // hidden --capture-part INDEX FIRST LAST FD
    std::string          part_dir;  // hidden --capture-part-dir DIR
};
extern capture_jobs_options CAPTURE_JOBS;

// Registers --jobs (needs --capture) and the hidden options of a child.
void capture_jobs_add_options(CLI::App& app, CLI::Option* capture);

// The cores this process may run on (at least 1).
uint32_t capture_default_jobs();

// Splits frames first..last into at most jobs parts of about equal length.
// Every part but the first starts on a multiple of gop frames after first, on
// a frame at which a segment runs; a split point with no such frame near it is
// dropped, so fewer parts may come back (one when the run is short).
std::vector<capture_part> capture_split(capture_rate fps, int64_t first, int64_t last, uint32_t jobs,
                                        int64_t gop);

// Runs a split capture when the command line asks for one that splits into
// two parts or more, and returns its exit status; -1 when this process is to
// capture on its own (a single part, or a child).
int capture_jobs_main();

// In a child: true, and this part's frames and output (the work folder, or a
// video file in it). Elsewhere false.
bool        capture_part_active();
capture_part capture_part_range();
std::string capture_part_out();
// In a child: tells the parent that frames_done frames of the part are written.
void capture_part_progress(uint32_t frames_done);
