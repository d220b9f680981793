// shell/capture_video.h - the encoder process behind a video capture.
//
// capture.cpp reads the frames back and hands them here when the output is a
// video. The backend owns the child process: shell/sdl/capture_video.cpp
// starts ffmpeg with posix_spawn and feeds it through a pipe;
// shell/win32/capture_video.cpp starts none and says so (the Windows build
// captures PNG frames only). The public ffmpeg helpers that the split
// capture shares (capture_find_ffmpeg, capture_spawn, ...) are declared in
// capture.h and live in the same backend file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/capture.h"

// Starts the encoder for sink.out (fatal, naming the file, when it cannot).
void capture_video_start(capture_sink& sink, capture_rate fps, uint32_t from_ms, const std::string& music,
                         int crf);
// Hands one bottom-up RGBA frame to the encoder; fatal when it stopped reading.
void capture_video_write(capture_sink& sink, const std::vector<uint8_t>& bottom_up);
// Closes the encoder's input and waits for it; its exit status.
int  capture_video_wait(capture_sink& sink);
// Asks a running encoder to stop (a failed capture).
void capture_video_kill(capture_sink& sink);
