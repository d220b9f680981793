// shell/sdl/capture_video.cpp - ffmpeg as the encoder of a video capture (see capture_video.h).
//
// The Linux build's backend. The child reads raw RGBA frames from a pipe
// (bottom-up, as GL reads them, so ffmpeg flips them), encodes H.264 and
// muxes the music, seeked to the capture's start time, looped like the show's
// own music (a track shorter than the capture starts again), cut to the
// length of the video. The encoder runs at preset veryfast: at a fixed
// quantiser it makes files about 4 % larger than preset medium for 40 % of the
// encoder's CPU time, which the renderers need more. The child is started
// with posix_spawn and no shell, so no file name needs quoting; SIGPIPE is
// ignored so that a dying encoder turns into a write error and a clear
// message rather than a silent kill.
// A music file that is missing or not Ogg Vorbis is left out with one line
// on stderr (ffmpeg would refuse the whole video).
#include "shell/capture_video.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#include "support/error.h"

extern char** environ;

// --- internal helpers ---------------------------------------------------------
// True when music is an Ogg Vorbis file ffmpeg can mux; otherwise says on
// stderr that the video goes without sound (a bad music file only costs the
// sound, as in a normal run).
static bool capture_music_usable(const std::string& music)
{
    if (music.empty())
        return false;
    OggVorbis_File vf;
    FILE* f = std::fopen(music.c_str(), "rb");
    const char* problem = f ? nullptr : "cannot be opened";
    if (f && ov_test(f, &vf, nullptr, 0) != 0) {
        std::fclose(f);
        problem = "is not an Ogg Vorbis file";
    } else if (f) {
        ov_clear(&vf);  // closes f
    }
    if (problem)
        std::fprintf(stderr, "qiv: %s %s; the video has no sound\n", music.c_str(), problem);
    return problem == nullptr;
}

// The music input and its mapping: seeked to the capture's start, looped like
// the show's own music, cut to the length of the video, coded as AAC at 256 kb/s.
static void capture_music_args(std::vector<std::string>& args, uint32_t from_ms, const std::string& music)
{
    char seek[32];
    std::snprintf(seek, sizeof seek, "%.3f", from_ms / 1000.0);
    args.insert(args.end(), {"-stream_loop", "-1", "-ss", seek, "-i", music, "-map", "0:v:0", "-map", "1:a:0",
                             "-c:a", "aac", "-b:a", "256k", "-shortest"});
}

// The H.264 coding of a video: yuv420p, a key frame every second, at constant
// rate factor crf (at crf 0 losslessly, at the fastest preset: the parts of a
// split capture, coded once more when they are joined).
static void capture_video_coding(std::vector<std::string>& args, capture_rate fps, int crf)
{
    std::string gop = std::to_string(capture_gop_frames(fps));
    std::vector<std::string> quality = crf == 0 ? std::vector<std::string>{"-preset", "ultrafast", "-qp", "0"}
                                                : std::vector<std::string>{"-preset", "veryfast", "-crf",
                                                                           std::to_string(crf)};
    args.insert(args.end(), {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-g", gop, "-keyint_min", gop,
                             "-sc_threshold", "0", "-bf", "0"});
    args.insert(args.end(), quality.begin(), quality.end());
    args.insert(args.end(), {"-r", capture_rate_text(fps), "-movflags", "+faststart", "-f", "mp4"});
}

static std::vector<std::string> capture_ffmpeg_args(const capture_sink& sink, capture_rate fps,
                                                    uint32_t from_ms, const std::string& music, int crf)
{
    std::string size = std::to_string(CAPTURE_WIDTH) + "x" + std::to_string(CAPTURE_HEIGHT);
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                     "-f", "rawvideo", "-pixel_format", "rgba", "-video_size", size,
                                     "-framerate", capture_rate_text(fps), "-i", "pipe:0"};
    capture_video_args(args, fps, from_ms, music, crf, sink.video_temp, true);
    return args;
}

// --- public functions ---------------------------------------------------------
std::string capture_find_ffmpeg()
{
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string candidate = (dir.empty() ? "." : dir) + "/ffmpeg";
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return "";
}

void capture_video_start(capture_sink& sink, capture_rate fps, uint32_t from_ms, const std::string& music,
                         int crf)
{
    std::string ffmpeg = capture_find_ffmpeg();
    if (ffmpeg.empty())
        fatal_raise(sink.out + ": video capture needs ffmpeg, which was not found on the PATH; "
                    "install ffmpeg, or capture into a folder of PNG frames instead");
    std::filesystem::path target(sink.out);
    if (target.has_parent_path() && !std::filesystem::is_directory(target.parent_path()))
        fatal_raise(sink.out + ": the folder " + target.parent_path().string() + " does not exist");
    sink.video_temp = sink.out + ".part";
    int fds[2];  // close-on-exec: ffmpeg must not hold its own input's write end open
    if (pipe2(fds, O_CLOEXEC) != 0)
        fatal_raise(sink.out + ": cannot create a pipe to ffmpeg (" + std::strerror(errno) + ")");
    std::signal(SIGPIPE, SIG_IGN);
    try {
        sink.pid = capture_spawn(ffmpeg, capture_ffmpeg_args(sink, fps, from_ms, music, crf), fds[0],
                                 sink.out + ": ffmpeg");
    } catch (...) {
        close(fds[0]);
        close(fds[1]);
        throw;
    }
    close(fds[0]);
    sink.pipe_fd = fds[1];
}

void capture_video_write(capture_sink& sink, const std::vector<uint8_t>& bottom_up)
{
    const uint8_t* p = bottom_up.data();
    size_t left = bottom_up.size();
    while (left > 0) {
        ssize_t n = write(sink.pipe_fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fatal_raise(sink.out + ": ffmpeg stopped reading frames (" + std::strerror(errno) +
                        "); see its message above");
        p += n;
        left -= static_cast<size_t>(n);
    }
}

int capture_video_wait(capture_sink& sink)
{
    if (sink.pipe_fd >= 0)
        close(sink.pipe_fd);
    sink.pipe_fd = -1;
    int status = sink.pid > 0 ? capture_wait(sink.pid) : 0;
    sink.pid = -1;
    return status;
}

void capture_video_args(std::vector<std::string>& args, capture_rate fps, uint32_t from_ms,
                        const std::string& music, int crf, const std::string& out, bool flip)
{
    if (capture_music_usable(music))
        capture_music_args(args, from_ms, music);
    if (flip)
        args.insert(args.end(), {"-vf", "vflip"});  // GL's rows run bottom-up
    capture_video_coding(args, fps, crf);
    args.push_back(out);
}

int capture_spawn(const std::string& program, const std::vector<std::string>& args, int stdin_fd,
                  const std::string& what)
{
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (std::string& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdin_fd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdin_fd, 0);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        fatal_raise(what + ": cannot start " + program + " (" + std::strerror(rc) + ")");
    return pid;
}

int capture_wait(int pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return 128;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void capture_video_kill(capture_sink& sink)
{
    if (sink.pid > 0)
        kill(sink.pid, SIGTERM);
}
