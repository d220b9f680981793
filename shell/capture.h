// shell/capture.h - writing rendered frames: numbered PNGs, a video, one shot.
//
// Capture renders with the virtual clock, so frame n of a run shows exactly
// n * 1000 / fps ms of the show and the same command gives the same pictures.
// OUT is a folder (frames written as frame_NNNNNN.png, NNNNNN the frame's
// index n in the run, so a file name tells its time) or a file ending ".mp4",
// which is encoded by an ffmpeg child process fed raw RGBA frames on a pipe,
// with the music muxed in from the same start time. Files appear all at once:
// PNGs and the video are written under a temporary name and renamed when
// complete. A progress bar goes to stderr.
//
// The video is coded in closed groups of fps frames (one second), each
// starting with a key frame, at a constant quantiser and without B-frames, so
// a group's coded pictures depend on that group's frames alone: videos of
// parts of a run that start on a group boundary, joined without re-encoding,
// decode to the same frames as the video of the whole run (shell/capture_jobs).
//
// Read-back goes through two pixel buffer objects where the GL has them (2.1,
// or ARB_pixel_buffer_object): frame n's read is queued and frame n - 1's
// pixels, long since arrived, are written out while the GL draws frame n.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct capture_sink {
    std::string out;              // the folder, or the .mp4 file
    bool        video = false;    // out ends in ".mp4"
    std::string video_temp;       // ffmpeg's output until it succeeds
    int         pipe_fd = -1;     // ffmpeg's stdin
    int         pid = -1;         // ffmpeg's process
    uint32_t    frames = 0;       // frames written
    bool        pbo = false;      // read-back through pixel buffer objects
    unsigned    pbo_names[2] = {0, 0};
    int         pbo_next = 0;     // the buffer the next read goes to
    int64_t     pending = -1;     // frame whose pixels wait in the other buffer, or -1
};

constexpr int CAPTURE_WIDTH  = 640;
constexpr int CAPTURE_HEIGHT = 480;

// True when out names a video file (ends in ".mp4", any letter case).
bool capture_is_video(const std::string& out);
// Frame indices n of a run: the first at or after from_ms, the last at or before to_ms.
void capture_frame_range(uint32_t fps, uint32_t from_ms, uint32_t to_ms, int64_t& first, int64_t& last);
// Time of frame n: n * 1000 / fps ms, rounded down.
uint32_t capture_frame_time(int64_t n, uint32_t fps);

// Frames per group of pictures of a video at fps: every group starts with a key frame.
int64_t capture_gop_frames(uint32_t fps);

// Prepares the output: creates the folder, or starts ffmpeg (fatal when it is
// missing). music is muxed into a video when the file exists ("" for none).
// Call with the GL context current: it sets up the read-back buffers.
void capture_open(capture_sink& sink, const std::string& out, uint32_t fps, uint32_t from_ms,
                  const std::string& music);
// Reads the back buffer as frame n; it is written out by the next call or by capture_close.
void capture_frame(capture_sink& sink, int64_t n);
// Writes the frame still waiting in a read-back buffer, if any.
void capture_flush(capture_sink& sink);
// Writes the last frame, finishes the output (waits for ffmpeg and renames the
// video); fatal on failure.
void capture_close(capture_sink& sink);
// Abandons the output after a failure (kills ffmpeg, removes the partial video).
void capture_abort(capture_sink& sink);

// The 640 x 480 back buffer as top-down RGBA rows with opaque alpha.
std::vector<uint8_t> capture_read_frame();
// Writes top-down RGBA pixels as a PNG, replacing the file atomically; fatal on failure.
void capture_write_png(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height);

// ffmpeg's full path from PATH, or "" when it is not installed.
std::string capture_find_ffmpeg();
// Starts args[0] found at program with stdin_fd (or -1: inherited) as its
// standard input; the child's process id. Fatal (naming what) when it cannot start.
int capture_spawn(const std::string& program, const std::vector<std::string>& args, int stdin_fd,
                  const std::string& what);
// Waits for a child process; its exit status, or 128 + signal.
int capture_wait(int pid);

// Sets the GL pack state the read-back relies on: no pack buffer bound, then
// the renderer's tight pack state (alignment 1, no row length, skips or byte
// swapping, identity pixel transfer).
void capture_pack_state();

// Progress bar on stderr: "\rcapture [####......]  40%  12/30 frames".
void capture_progress(uint32_t done, uint32_t total);
