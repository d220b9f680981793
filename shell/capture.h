// shell/capture.h - writing rendered frames: numbered PNGs, a video, one shot.
//
// Capture renders with the virtual clock, so frame n of a run shows exactly
// n * 1000 / fps ms of the show (rounded down to the millisecond) and the same
// command gives the same pictures. The rate is a fraction, num / den frames a
// second ("60000/1001", or "59.94" = 2997/50 written as a decimal), so that a
// video's rate is exactly what was asked for.
//
// The picture is CAPTURE_WIDTH x CAPTURE_HEIGHT pixels (640 x 480 unless
// --size says otherwise). With CAPTURE_SSAA = N > 1 the GL draws N x N samples
// for every pixel into a framebuffer object N times the size, and each output
// pixel is the plain mean of its N x N samples (a box filter), for smooth
// edges at no cost to sharpness.
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

// A frame rate num / den frames per second, in lowest terms.
struct capture_rate {
    uint32_t num = 30;
    uint32_t den = 1;
    capture_rate() = default;
    capture_rate(uint32_t fps) : num(fps), den(1) {}  // NOLINT: a whole rate reads as one
    capture_rate(uint32_t n, uint32_t d) : num(n), den(d) {}
};

extern int CAPTURE_WIDTH;   // the output picture, in pixels
extern int CAPTURE_HEIGHT;
extern int CAPTURE_SSAA;    // samples per pixel along each axis (1 to 4)
constexpr int CAPTURE_DEFAULT_CRF = 17;  // libx264's constant rate factor of a video

// Parses a rate: "30", "59.94" (up to three decimals) or "60000/1001"; ""
// when valid, else what is wrong. Rates run from 1 to 1000 frames a second.
std::string capture_parse_rate(const std::string& text, capture_rate& rate);
// The rate as ffmpeg reads it: "30" or "60000/1001".
std::string capture_rate_text(const capture_rate& rate);

// True when out names a video file (ends in ".mp4", any letter case).
bool capture_is_video(const std::string& out);
// Frame indices n of a run: the first at or after from_ms, the last at or before to_ms.
void capture_frame_range(capture_rate fps, uint32_t from_ms, uint32_t to_ms, int64_t& first, int64_t& last);
// Time of frame n: n * 1000 * den / num ms, rounded down.
uint32_t capture_frame_time(int64_t n, capture_rate fps);

// Frames per group of pictures of a video at fps (about a second): every group
// starts with a key frame.
int64_t capture_gop_frames(capture_rate fps);
// Mean of each n x n block of bottom-up RGBA pixels (width x height the
// output size): the supersampled frame brought down to the output.
std::vector<uint8_t> capture_downsample(const std::vector<uint8_t>& px, int width, int height, int n);

// Prepares the output: creates the folder, or starts ffmpeg (fatal when it is
// missing). music is muxed into a video when the file exists ("" for none).
// Call with the GL context current: it sets up the read-back buffers.
// crf is the video's quality (lower is better; 0 is lossless and is what the
// parts of a split capture are coded with, so that joining them loses nothing).
void capture_open(capture_sink& sink, const std::string& out, capture_rate fps, uint32_t from_ms,
                  const std::string& music, int crf = CAPTURE_DEFAULT_CRF);
// Reads the back buffer as frame n; it is written out by the next call or by capture_close.
void capture_frame(capture_sink& sink, int64_t n);
// Writes the frame still waiting in a read-back buffer, if any.
void capture_flush(capture_sink& sink);
// Writes the last frame, finishes the output (waits for ffmpeg and renames the
// video); fatal on failure.
void capture_close(capture_sink& sink);
// Abandons the output after a failure (kills ffmpeg, removes the partial video).
void capture_abort(capture_sink& sink);

// The frame being drawn (the back buffer, or the bound framebuffer object),
// brought down to CAPTURE_WIDTH x CAPTURE_HEIGHT, as top-down RGBA rows with opaque alpha.
std::vector<uint8_t> capture_read_frame();
// Writes top-down RGBA pixels as a PNG, replacing the file atomically; fatal on failure.
void capture_write_png(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height);

// Appends to ffmpeg's arguments (after its video input) the music (when the
// file is usable), the H.264 coding at crf and the output file; flip turns
// bottom-up rows (as GL reads them) the right way up.
void capture_video_args(std::vector<std::string>& args, capture_rate fps, uint32_t from_ms,
                        const std::string& music, int crf, const std::string& out, bool flip = false);

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
