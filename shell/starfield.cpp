// shell/starfield.cpp - filling and drawing the starfield (see starfield.h).
//
// The draw order of the random numbers is fixed (X, Y, Z, brightness, star by
// star), so a given seed always gives the same field. Drawing is immediate
// mode, one colour and one vertex call per star, as points one pixel wide at
// 480 lines and as wide as the picture's scale at other sizes (the rasteriser
// rounds: 2 pixels at 1080 lines), so a star keeps its share of the picture.
#include "shell/starfield.h"

#include <GL/gl.h>

#include "engine/render/render_common.h"
#include "support/random.h"

// --- module state -------------------------------------------------------------
TStar STARS[STAR_COUNT];

// --- public functions ---------------------------------------------------------
void starfield_fill()
{
    for (TStar& star : STARS) {
        star.X = static_cast<float>(static_cast<int32_t>(random_int(10000)) - 5000);
        star.Y = static_cast<float>(static_cast<int32_t>(random_int(10000)) - 5000);
        star.Z = static_cast<float>(static_cast<int32_t>(random_int(4000)) - 2000);
        star.BRIGHTNESS = static_cast<float>(static_cast<double>(random_int(50)) / 50 + 0.5);
    }
}

void starfield_draw()
{
    glPointSize(kst_pixels(1.0f));
    glBegin(GL_POINTS);
    for (const TStar& star : STARS) {
        glColor3f(star.BRIGHTNESS, star.BRIGHTNESS, star.BRIGHTNESS);
        glVertex3f(star.X, star.Y, star.Z);
    }
    glEnd();
}
