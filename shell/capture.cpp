// shell/capture.cpp - frame output of capture mode (see capture.h).
//
// PNGs are encoded in memory by stb_image_write and written through
// atomic_file. Video goes to ffmpeg: the child reads raw 640 x 480 RGBA frames
// from a pipe (bottom-up, as GL reads them, so ffmpeg flips them), encodes
// H.264 and muxes the music, seeked to the capture's start time, cut to the
// length of the video. The child is started with posix_spawnp and no shell,
// so no file name needs quoting; SIGPIPE is ignored so that a dying encoder
// turns into a write error and a clear message rather than a silent kill.
// A music file that is missing or not Ogg Vorbis is left out with one line
// on stderr (ffmpeg would refuse the whole video).
#include "shell/capture.h"

#include <GL/gl.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "support/atomic_file.h"
#include "support/error.h"

extern char** environ;

// --- internal helpers ---------------------------------------------------------
static void capture_png_chunk(void* context, void* data, int size)
{
    auto* bytes = static_cast<std::string*>(context);
    bytes->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

static std::string capture_frame_name(int64_t n)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(n));
    return name;
}

// ffmpeg's full path from PATH, or "" when it is not installed.
static std::string capture_find_ffmpeg()
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

static std::vector<std::string> capture_ffmpeg_args(const capture_sink& sink, uint32_t fps,
                                                    uint32_t from_ms, const std::string& music)
{
    char size[32], rate[16], seek[32];
    std::snprintf(size, sizeof size, "%dx%d", CAPTURE_WIDTH, CAPTURE_HEIGHT);
    std::snprintf(rate, sizeof rate, "%u", fps);
    std::snprintf(seek, sizeof seek, "%.3f", from_ms / 1000.0);
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                     "-f", "rawvideo", "-pixel_format", "rgba", "-video_size", size,
                                     "-framerate", rate, "-i", "pipe:0"};
    bool with_music = capture_music_usable(music);
    if (with_music)
        args.insert(args.end(), {"-ss", seek, "-i", music, "-map", "0:v:0", "-map", "1:a:0",
                                 "-c:a", "aac", "-shortest"});
    args.insert(args.end(), {"-vf", "vflip", "-c:v", "libx264", "-pix_fmt", "yuv420p",
                             "-movflags", "+faststart", "-f", "mp4", sink.video_temp});
    return args;
}

static void capture_start_ffmpeg(capture_sink& sink, uint32_t fps, uint32_t from_ms,
                                 const std::string& music)
{
    std::string ffmpeg = capture_find_ffmpeg();
    if (ffmpeg.empty())
        fatal_raise(sink.out + ": video capture needs ffmpeg, which was not found on the PATH; "
                    "install ffmpeg, or capture into a folder of PNG frames instead");
    std::filesystem::path target(sink.out);
    if (target.has_parent_path() && !std::filesystem::is_directory(target.parent_path()))
        fatal_raise(sink.out + ": the folder " + target.parent_path().string() + " does not exist");
    sink.video_temp = sink.out + ".part";
    std::vector<std::string> args = capture_ffmpeg_args(sink, fps, from_ms, music);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int fds[2];
    if (pipe(fds) != 0)
        fatal_raise(sink.out + ": cannot create a pipe to ffmpeg (" + std::strerror(errno) + ")");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, ffmpeg.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (rc != 0) {
        close(fds[1]);
        fatal_raise(sink.out + ": cannot start ffmpeg (" + std::strerror(rc) + ")");
    }
    std::signal(SIGPIPE, SIG_IGN);
    sink.pipe_fd = fds[1];
    sink.pid = pid;
}

static void capture_pipe_frame(capture_sink& sink, const std::vector<uint8_t>& bottom_up)
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

// Waits for ffmpeg; its exit status.
static int capture_wait_ffmpeg(capture_sink& sink)
{
    if (sink.pipe_fd >= 0)
        close(sink.pipe_fd);
    sink.pipe_fd = -1;
    int status = 0;
    if (sink.pid > 0)
        while (waitpid(sink.pid, &status, 0) < 0 && errno == EINTR) {
        }
    sink.pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Raw back buffer, bottom-up, opaque alpha.
static std::vector<uint8_t> capture_read_raw()
{
    std::vector<uint8_t> px(static_cast<size_t>(CAPTURE_WIDTH) * CAPTURE_HEIGHT * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, CAPTURE_WIDTH, CAPTURE_HEIGHT, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    for (size_t i = 3; i < px.size(); i += 4)
        px[i] = 255;  // the frame's alpha is a drawing by-product, not transparency
    return px;
}

static std::vector<uint8_t> capture_flip(const std::vector<uint8_t>& px, int width, int height)
{
    std::vector<uint8_t> out(px.size());
    size_t row = static_cast<size_t>(width) * 4;
    for (int y = 0; y < height; ++y)
        std::memcpy(&out[y * row], &px[(height - 1 - y) * row], row);
    return out;
}

// --- public functions ---------------------------------------------------------
bool capture_is_video(const std::string& out)
{
    if (out.size() < 4)
        return false;
    std::string ext = out.substr(out.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".mp4";
}

void capture_frame_range(uint32_t fps, uint32_t from_ms, uint32_t to_ms, int64_t& first, int64_t& last)
{
    first = (static_cast<int64_t>(from_ms) * fps + 999) / 1000;
    last = static_cast<int64_t>(to_ms) * fps / 1000;
}

uint32_t capture_frame_time(int64_t n, uint32_t fps)
{
    return static_cast<uint32_t>(n * 1000 / fps);
}

std::vector<uint8_t> capture_read_frame()
{
    return capture_flip(capture_read_raw(), CAPTURE_WIDTH, CAPTURE_HEIGHT);
}

void capture_write_png(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height)
{
    std::string bytes;
    if (!stbi_write_png_to_func(capture_png_chunk, &bytes, width, height, 4, rgba.data(), width * 4))
        fatal_raise(path + ": cannot encode the PNG image");
    atomic_file file(path);
    file.write(bytes);
    file.commit();
}

void capture_open(capture_sink& sink, const std::string& out, uint32_t fps, uint32_t from_ms,
                  const std::string& music)
{
    sink = capture_sink{};
    sink.out = out;
    sink.video = capture_is_video(out);
    if (sink.video) {
        capture_start_ffmpeg(sink, fps, from_ms, music);
        return;
    }
    std::error_code ec;
    std::filesystem::create_directories(out, ec);
    if (!std::filesystem::is_directory(out))
        fatal_raise(out + ": cannot create the capture folder" + (ec ? " (" + ec.message() + ")" : ""));
}

void capture_frame(capture_sink& sink, int64_t n)
{
    if (sink.video)
        capture_pipe_frame(sink, capture_read_raw());
    else
        capture_write_png(sink.out + "/" + capture_frame_name(n), capture_read_frame(), CAPTURE_WIDTH,
                          CAPTURE_HEIGHT);
    sink.frames += 1;
}

void capture_close(capture_sink& sink)
{
    if (!sink.video)
        return;
    int status = capture_wait_ffmpeg(sink);
    std::error_code ec;
    if (status != 0) {
        std::filesystem::remove(sink.video_temp, ec);
        fatal_raise(sink.out + ": ffmpeg failed with status " + std::to_string(status) +
                    "; see its message above");
    }
    std::filesystem::rename(sink.video_temp, sink.out, ec);
    if (ec)
        fatal_raise(sink.out + ": cannot rename the finished video (" + ec.message() + ")");
}

void capture_abort(capture_sink& sink)
{
    if (!sink.video)
        return;
    if (sink.pid > 0)
        kill(sink.pid, SIGTERM);
    capture_wait_ffmpeg(sink);
    std::error_code ec;
    std::filesystem::remove(sink.video_temp, ec);
}

void capture_progress(uint32_t done, uint32_t total)
{
    constexpr int width = 30;
    uint32_t pct = total ? static_cast<uint32_t>(uint64_t(done) * 100 / total) : 100;
    int filled = static_cast<int>(pct * width / 100);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(width - filled), '.');
    std::fprintf(stderr, "\rcapture [%s] %3u%%  %u/%u frames", bar.c_str(), pct, done, total);
    if (done >= total)
        std::fputc('\n', stderr);
    std::fflush(stderr);
}
