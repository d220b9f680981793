// shell/starfield.h - the 5000 grey points drawn into the earth scene.
//
// Filled once at start-up from the program-wide generator (so the field
// differs from run to run unless --seed fixes it), then drawn every frame of
// the earth segment as one GL_POINTS batch under whatever camera and state the
// scene render and particle pass left behind.
#pragma once

#include <cstdint>

struct TStar {
    float X, Y, Z;       // position in the earth scene
    float BRIGHTNESS;    // grey level 0.5..1.48 (GL clamps above 1)
};

constexpr int32_t STAR_COUNT = 5000;
extern TStar STARS[STAR_COUNT];

// Draws X, Y, Z and BRIGHTNESS of every star, in that order, from the generator.
void starfield_fill();
// One point per star, coloured by its brightness; sets no state of its own.
void starfield_draw();
