// ife/ife_draw.cpp - drawing an interface at a frame.
//
// Every layer is one immediate-mode quad in a fixed 1024 x 768 orthographic
// space (origin bottom-left, y up), whatever the window size. For a frame the
// layer's two bracketing keys are found by one full pass over the keys (no
// caching, so frames can be drawn in any order, backwards included), and
// position, angle, size and colour are eased between them with the earlier
// key's mode. The translation and rotation go onto the projection matrix after
// the orthographic projection; the model-view matrix stays identity. Nothing
// is saved or restored: callers that draw 3D afterwards set their own state.
//
// Choices for data the format allows but cannot animate: a layer without keys
// is skipped, two keys at one frame give t = 0 (the earlier key's values), and
// an unknown easing mode interpolates linearly.
#include "ife/ife.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <cmath>
#include <numbers>

#include "engine/render/render_common.h"

// --- internal helpers ---------------------------------------------------------
// Position between keys a and b, as a 32-bit float.
static float ife_position(const ife_keys& a, const ife_keys& b, float frame)
{
    int64_t span = static_cast<int64_t>(b.frame) - a.frame;
    if (span == 0)
        return 0.0f;
    return static_cast<float>((static_cast<double>(frame) - a.frame) / static_cast<double>(span));
}

static void ife_draw_layer(const ife_layer& layer, float frame)
{
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, 1024, 0, 768);
    kst_apply_blend(layer.blend);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, layer.texture);

    int32_t ia = 0, ib = 0;
    ife_bracket(layer, frame, ia, ib);
    const ife_keys& a = layer.keys[ia];
    const ife_keys& b = layer.keys[ib];
    float t = ia == ib ? 0.0f : ife_position(a, b, frame);
    uint8_t m = a.mode;
    float angle = IFE_INTERPOLATE(m, a.angle, b.angle, t);
    float x = IFE_INTERPOLATE(m, a.x, b.x, t);
    float y = IFE_INTERPOLATE(m, a.y, b.y, t);
    float hw = IFE_INTERPOLATE(m, a.width, b.width, t) / 2;
    float hh = IFE_INTERPOLATE(m, a.height, b.height, t) / 2;
    glColor4f(IFE_INTERPOLATE(m, a.red, b.red, t) / 255, IFE_INTERPOLATE(m, a.green, b.green, t) / 255,
              IFE_INTERPOLATE(m, a.blue, b.blue, t) / 255, IFE_INTERPOLATE(m, a.alpha, b.alpha, t) / 255);
    glTranslatef(x, y, 0);
    glRotatef(angle, 0, 0, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(1, 0); glVertex2f(hw, hh);
    glTexCoord2f(1, 1); glVertex2f(hw, -hh);
    glTexCoord2f(0, 1); glVertex2f(-hw, -hh);
    glTexCoord2f(0, 0); glVertex2f(-hw, hh);
    glEnd();
}

// --- public functions ---------------------------------------------------------
float IFE_INTERPOLATE(uint8_t mode, float from, float to, float t)
{
    const double half_pi = std::numbers::pi / 2;
    double d = static_cast<double>(to) - from;
    double k;
    switch (mode) {
    case 1: k = std::sin(half_pi * t); break;
    case 2: k = 1 - std::sin(half_pi + half_pi * t); break;
    default: k = t; break;  // 0, and any mode the format does not define
    }
    return static_cast<float>(from + d * k);
}

void ife_bracket(const ife_layer& layer, float frame, int32_t& a, int32_t& b)
{
    int32_t n = layer.keycount;
    a = 0;
    b = n - 1;
    for (int32_t j = 0; j < n; ++j) {
        if (frame >= static_cast<float>(layer.keys[j].frame))
            a = j;
        if (frame <= static_cast<float>(layer.keys[n - 1 - j].frame))
            b = n - 1 - j;
    }
}

void IFE_DRAW(const ife_interface& record, float frame)
{
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_CULL_FACE);
    for (int32_t i = 0; i < record.layercount; ++i)
        if (record.layers[i].keycount > 0)
            ife_draw_layer(record.layers[i], frame);
}
