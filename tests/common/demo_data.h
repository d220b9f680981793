// tests/common/demo_data.h - a complete small data set for whole-show tests.
//
// qiv loads fifteen layer sets, six scenes, the textures both name and one
// music file from its data folder. demo_data_write makes such a folder that
// loads in a fraction of a second: every layer set holds one opaque layer,
// a 128 x 96 rectangle in a cell of its own (an 8 x 2 grid along the bottom of
// the 1024 x 768 interface space, so the top-left corner stays free for the
// benchmark line) with a solid texture of its own colour; every scene is a lit
// cube in front of the camera (qorv has six cubes, so segment 6 spins five),
// the four scenes that bind textures use a textured material and emit
// textured particles; the music is a second of a quiet tone.
#pragma once

#include <string>

#include "texture_files.h"

struct demo_data_options {
    bool        music = true;   // write music.ogg
    std::string omit;           // a file name to leave out ("qorv.kst", ...)
};

// Writes the data set into folder (created if needed).
void demo_data_write(const std::string& folder, const demo_data_options& options = {});
// Colour of a layer set's texture, by file stem ("loading", "drumcrash", ...).
tex_rgba demo_data_layer_colour(const std::string& stem);
// Centre of a layer set's rectangle in window pixels (640 x 480, y up).
void demo_data_layer_pixel(const std::string& stem, int& x, int& y);
