// platform/snapshot.h - the current GL frame as a PNG file.
//
// A program that renders off screen (kestrel render, the examples, anyone who
// uses the installed engine) ends by reading the default framebuffer back and
// writing it as a picture. GL's rows run bottom-up and a PNG's top-down, so
// the rows are flipped on the way out. The PNG is encoded by stb_image_write
// (compiled into this module, kept static so it never clashes with a
// program's own copy) and written atomically: a failed write leaves any
// earlier file in place. The module keeps no state.
#pragma once

#include <string>
#include <vector>

// The lower-left width x height pixels of the current read buffer as RGB
// bytes, top row first. Waits for drawing to finish.
std::vector<unsigned char> snapshot_read_rgb(int width, int height);
// Writes width x height RGB pixels (top row first) as a PNG; fatal_error
// naming the file when it cannot be encoded or written.
void snapshot_write_png(const std::string& path, const std::vector<unsigned char>& rgb, int width,
                        int height);
