// platform/picture.h - the size of the picture and where it sits in the frame.
//
// The show is a 4:3 picture. A program that draws it into a frame of another
// shape (a 1920 x 1080 desktop, a 16:9 video) draws it into the largest
// centred 4:3 rectangle the frame holds, and leaves black bars beside it
// (pillarbox, when the frame is wider) or above and below (letterbox, when it
// is taller). The viewport is that rectangle, so the projection and the
// interface layers' 1024 x 768 space follow it by themselves; the scissor
// box is that rectangle too, so that a clear of the picture never paints the
// bars. Whatever is sized in pixels rather than in view space follows the
// picture's height over 480 (KST_PIXEL_SCALE), which picture_apply sets.
//
// At 640 x 480 nothing changes: the rectangle is the whole frame, the scale
// is 1, the scissor test is left alone, and every picture is the same bytes
// as a program that never heard of picture sizes draws.
//
// Sizes are written "WxH" and run from 160 x 120 to 7680 x 4320; the parser
// names the limits when a size falls outside them. The module keeps no state
// but the scale in the renderer.
#pragma once

#include <string>

constexpr int PICTURE_MIN_WIDTH  = 160;
constexpr int PICTURE_MIN_HEIGHT = 120;
constexpr int PICTURE_MAX_WIDTH  = 7680;
constexpr int PICTURE_MAX_HEIGHT = 4320;

struct picture_rect {
    int x = 0, y = 0;              // lower-left corner in the frame, GL's way up
    int width = 640, height = 480;
};

// Parses "WxH" (also "WXH") into width and height; "" when it is valid,
// otherwise what is wrong with it, naming the limits.
std::string picture_parse_size(const std::string& text, int& width, int& height);
// The largest centred 4:3 rectangle of a frame_width x frame_height frame.
picture_rect picture_fit(int frame_width, int frame_height);
// The picture's height over 480.
float picture_scale(const picture_rect& picture);
// True when the picture leaves bars in its frame.
bool picture_has_bars(const picture_rect& picture, int frame_width, int frame_height);
// Makes the picture the viewport, sets KST_PIXEL_SCALE, and where there are
// bars, paints them black and confines clears to the picture (scissor).
// Call once after making the frame's context or framebuffer current.
void picture_apply(const picture_rect& picture, int frame_width, int frame_height);
// Paints the bars black again (a swap may leave the new back buffer's bars
// undefined); nothing without bars. The scissor box stays the picture.
void picture_clear_bars(const picture_rect& picture, int frame_width, int frame_height);
