// shell/win32/capture_video.cpp - video capture in the Windows build (see capture_video.h).
//
// The Windows build starts no encoder: it captures folders of PNG frames,
// which any video tool turns into a film. A capture into a .mp4 name stops
// before the first frame with a message that says so and what to do instead.
#include "shell/capture_video.h"

#include "support/error.h"

std::string capture_find_ffmpeg()
{
    return "";
}

void capture_video_args(std::vector<std::string>&, capture_rate, uint32_t, const std::string&, int,
                        const std::string&, bool)
{
}

int capture_spawn(const std::string& program, const std::vector<std::string>&, int, const std::string& what)
{
    fatal_raise(what + ": the Windows build starts no " + program);
}

int capture_wait(int)
{
    return 128;
}

void capture_video_start(capture_sink& sink, capture_rate, uint32_t, const std::string&, int)
{
    fatal_raise(sink.out + ": the Windows build captures PNG frames only, not video; "
                "capture into a folder instead (--capture FOLDER)");
}

void capture_video_write(capture_sink&, const std::vector<uint8_t>&)
{
}

int capture_video_wait(capture_sink&)
{
    return 0;
}

void capture_video_kill(capture_sink&)
{
}
