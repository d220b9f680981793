// shell/capture.cpp - frame output of capture mode (see capture.h).
//
// PNGs are encoded in memory by stb_image_write and written through
// atomic_file. Video goes to an encoder process of the platform's backend
// (shell/capture_video.h: ffmpeg on Linux).
//
// The pixel buffer object entry points are looked up through the platform's
// GL layer at run time (GL 1.5 names, or the ARB names on an older GL with
// the extension), so the program still starts on a GL without them and reads
// with plain glReadPixels.
// QIV_CAPTURE_NO_PBO=1 forces the plain path (tests compare the two).
#include "shell/capture.h"
#include "shell/capture_video.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <numeric>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "engine/render/render_common.h"
#include "platform/glcontext.h"
#include "platform/render_target.h"
#include "support/atomic_file.h"
#include "support/error.h"

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

// --- read-back ----------------------------------------------------------------
int CAPTURE_WIDTH  = 640;
int CAPTURE_HEIGHT = 480;
int CAPTURE_SSAA   = 1;

// The drawn frame's size: the output times the samples per pixel.
static int capture_drawn_width()
{
    return CAPTURE_WIDTH * CAPTURE_SSAA;
}

static int capture_drawn_height()
{
    return CAPTURE_HEIGHT * CAPTURE_SSAA;
}

static size_t capture_drawn_bytes()
{
    return static_cast<size_t>(capture_drawn_width()) * static_cast<size_t>(capture_drawn_height()) * 4;
}

// The back buffer, or the colour attachment of a bound framebuffer object.
static void capture_read_buffer()
{
    glReadBuffer(render_target_active() ? GL_COLOR_ATTACHMENT0 : GL_BACK);
}

// The drawn pixels brought down to the output size (nothing to do without supersampling).
static std::vector<uint8_t> capture_to_output(std::vector<uint8_t> px)
{
    if (CAPTURE_SSAA <= 1)
        return px;
    return capture_downsample(px, CAPTURE_WIDTH, CAPTURE_HEIGHT, CAPTURE_SSAA);
}

struct capture_pbo_api {
    PFNGLGENBUFFERSPROC    gen = nullptr;
    PFNGLDELETEBUFFERSPROC del = nullptr;
    PFNGLBINDBUFFERPROC    bind = nullptr;
    PFNGLBUFFERDATAPROC    data = nullptr;
    PFNGLMAPBUFFERPROC     map = nullptr;
    PFNGLUNMAPBUFFERPROC   unmap = nullptr;
};
static capture_pbo_api capture_pbo;

static bool capture_pbo_supported()
{
    const char* no = std::getenv("QIV_CAPTURE_NO_PBO");
    if ((no && *no && std::string(no) != "0") || !gl_context_current())
        return false;
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    int major = 0, minor = 0;
    bool core = version && std::sscanf(version, "%d.%d", &major, &minor) == 2 &&
                (major > 2 || (major == 2 && minor >= 1));
    bool arb = extensions && std::strstr(extensions, "GL_ARB_pixel_buffer_object");
    if (!core && !arb)
        return false;
    const char* suffix = core ? "" : "ARB";
    capture_pbo_api& a = capture_pbo;
    return gl_context_proc(a.gen, "glGenBuffers", suffix) && gl_context_proc(a.del, "glDeleteBuffers", suffix) &&
           gl_context_proc(a.bind, "glBindBuffer", suffix) && gl_context_proc(a.data, "glBufferData", suffix) &&
           gl_context_proc(a.map, "glMapBuffer", suffix) && gl_context_proc(a.unmap, "glUnmapBuffer", suffix);
}

static void capture_pbo_open(capture_sink& sink)
{
    sink.pbo = capture_pbo_supported();
    if (!sink.pbo)
        return;
    capture_pbo.gen(2, sink.pbo_names);
    for (unsigned name : sink.pbo_names) {
        capture_pbo.bind(GL_PIXEL_PACK_BUFFER, name);
        capture_pbo.data(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(capture_drawn_bytes()), nullptr,
                         GL_STREAM_READ);
    }
    capture_pbo.bind(GL_PIXEL_PACK_BUFFER, 0);
}

static void capture_pbo_release(capture_sink& sink)
{
    if (sink.pbo && gl_context_current())
        capture_pbo.del(2, sink.pbo_names);
    sink.pbo = false;
    sink.pbo_names[0] = sink.pbo_names[1] = 0;
    sink.pending = -1;
}

static void capture_opaque(std::vector<uint8_t>& px)
{
    for (size_t i = 3; i < px.size(); i += 4)
        px[i] = 255;  // the frame's alpha is a drawing by-product, not transparency
}

// Queues the back buffer's read into the next pixel buffer.
static void capture_pbo_read(capture_sink& sink)
{
    capture_pack_state();
    capture_pbo.bind(GL_PIXEL_PACK_BUFFER, sink.pbo_names[sink.pbo_next]);
    capture_read_buffer();
    glReadPixels(0, 0, capture_drawn_width(), capture_drawn_height(), GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    capture_pbo.bind(GL_PIXEL_PACK_BUFFER, 0);
    sink.pbo_next ^= 1;
}

// The pixels of buffer i at the output size, bottom-up, opaque alpha.
static std::vector<uint8_t> capture_pbo_take(capture_sink& sink, int i)
{
    std::vector<uint8_t> px(capture_drawn_bytes());
    capture_pbo.bind(GL_PIXEL_PACK_BUFFER, sink.pbo_names[i]);
    const void* mapped = capture_pbo.map(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY);
    bool ok = mapped != nullptr;
    if (ok)
        std::memcpy(px.data(), mapped, px.size());
    if (ok && !capture_pbo.unmap(GL_PIXEL_PACK_BUFFER))
        ok = false;  // the buffer's contents were lost while mapped
    capture_pbo.bind(GL_PIXEL_PACK_BUFFER, 0);
    if (!ok)
        fatal_raise(sink.out + ": cannot read the frame back from the GL (pixel buffer mapping failed)");
    px = capture_to_output(std::move(px));
    capture_opaque(px);
    return px;
}

// The drawn frame at the output size, bottom-up, opaque alpha.
static std::vector<uint8_t> capture_read_raw()
{
    std::vector<uint8_t> px(capture_drawn_bytes());
    capture_pack_state();
    capture_read_buffer();
    glReadPixels(0, 0, capture_drawn_width(), capture_drawn_height(), GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    px = capture_to_output(std::move(px));
    capture_opaque(px);
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

// Writes bottom-up pixels as frame n.
static void capture_emit(capture_sink& sink, int64_t n, const std::vector<uint8_t>& bottom_up)
{
    if (sink.video)
        capture_video_write(sink, bottom_up);
    else
        capture_write_png(sink.out + "/" + capture_frame_name(n),
                          capture_flip(bottom_up, CAPTURE_WIDTH, CAPTURE_HEIGHT), CAPTURE_WIDTH,
                          CAPTURE_HEIGHT);
    sink.frames += 1;
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

std::string capture_parse_rate(const std::string& text, capture_rate& rate)
{
    const std::string bad = "'" + text + "' is not a frame rate from 1 to 1000 (for example 30, 59.94 or 60000/1001)";
    uint64_t num = 0, den = 1;
    size_t pos = 0, digits = 0;
    for (; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) && digits < 10; ++pos, ++digits)
        num = num * 10 + static_cast<uint64_t>(text[pos] - '0');
    if (digits == 0)
        return bad;
    if (pos < text.size() && text[pos] == '.') {
        size_t decimals = 0;
        for (++pos; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) && decimals < 3;
             ++pos, ++decimals) {
            num = num * 10 + static_cast<uint64_t>(text[pos] - '0');
            den *= 10;
        }
        if (decimals == 0)
            return bad;
    } else if (pos < text.size() && text[pos] == '/') {
        den = 0;
        for (++pos, digits = 0; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) && digits < 10;
             ++pos, ++digits)
            den = den * 10 + static_cast<uint64_t>(text[pos] - '0');
        if (digits == 0)
            return bad;
    }
    if (pos != text.size() || den == 0 || num < den || num > 1000 * den)
        return bad;
    uint64_t g = std::gcd(num, den);
    rate = capture_rate{static_cast<uint32_t>(num / g), static_cast<uint32_t>(den / g)};
    return "";
}

std::string capture_rate_text(const capture_rate& rate)
{
    std::string text = std::to_string(rate.num);
    return rate.den == 1 ? text : text + "/" + std::to_string(rate.den);
}

void capture_frame_range(capture_rate fps, uint32_t from_ms, uint32_t to_ms, int64_t& first, int64_t& last)
{
    const int64_t per = 1000 * static_cast<int64_t>(fps.den);
    first = (static_cast<int64_t>(from_ms) * fps.num + per - 1) / per;
    last = static_cast<int64_t>(to_ms) * fps.num / per;
}

uint32_t capture_frame_time(int64_t n, capture_rate fps)
{
    return static_cast<uint32_t>(n * 1000 * fps.den / fps.num);
}

int64_t capture_gop_frames(capture_rate fps)
{
    int64_t frames = (static_cast<int64_t>(fps.num) + fps.den / 2) / fps.den;
    return frames > 0 ? frames : 1;
}

std::vector<uint8_t> capture_downsample(const std::vector<uint8_t>& px, int width, int height, int n)
{
    std::vector<uint8_t> out(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    const size_t in_row = static_cast<size_t>(width) * static_cast<size_t>(n) * 4;
    const uint32_t count = static_cast<uint32_t>(n * n);
    std::vector<uint32_t> sums(static_cast<size_t>(width) * 4);
    for (int y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int sy = 0; sy < n; ++sy) {
            const uint8_t* row = &px[(static_cast<size_t>(y) * n + sy) * in_row];
            for (size_t i = 0; i < in_row; ++i)
                sums[(i / (4 * static_cast<size_t>(n))) * 4 + i % 4] += row[i];
        }
        uint8_t* dst = &out[static_cast<size_t>(y) * width * 4];
        for (size_t i = 0; i < sums.size(); ++i)
            dst[i] = static_cast<uint8_t>((sums[i] + count / 2) / count);
    }
    return out;
}

void capture_pack_state()
{
    if (capture_pbo.bind)
        capture_pbo.bind(GL_PIXEL_PACK_BUFFER, 0);
    kst_pixel_pack_tight();
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

void capture_open(capture_sink& sink, const std::string& out, capture_rate fps, uint32_t from_ms,
                  const std::string& music, int crf)
{
    sink = capture_sink{};
    sink.out = out;
    sink.video = capture_is_video(out);
    if (sink.video) {
        capture_video_start(sink, fps, from_ms, music, crf);
    } else {
        std::error_code ec;
        std::filesystem::create_directories(out, ec);
        if (!std::filesystem::is_directory(out))
            fatal_raise(out + ": cannot create the capture folder" + (ec ? " (" + ec.message() + ")" : ""));
    }
    capture_pbo_open(sink);
}

void capture_frame(capture_sink& sink, int64_t n)
{
    if (!sink.pbo) {
        capture_emit(sink, n, capture_read_raw());
        return;
    }
    int waiting = sink.pbo_next ^ 1;
    capture_pbo_read(sink);
    if (sink.pending >= 0)
        capture_emit(sink, sink.pending, capture_pbo_take(sink, waiting));
    sink.pending = n;
}

void capture_flush(capture_sink& sink)
{
    if (!sink.pbo || sink.pending < 0)
        return;
    int64_t n = sink.pending;
    sink.pending = -1;
    if (!gl_context_current())
        return;  // a close request took the context with the frame's pixels: the frame is not counted
    capture_emit(sink, n, capture_pbo_take(sink, sink.pbo_next ^ 1));
}

void capture_close(capture_sink& sink)
{
    capture_flush(sink);
    capture_pbo_release(sink);
    if (!sink.video)
        return;
    int status = capture_video_wait(sink);
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
    capture_pbo_release(sink);
    if (!sink.video)
        return;
    capture_video_kill(sink);
    capture_video_wait(sink);
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
