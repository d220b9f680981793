// engine/render/flares.cpp - flare visibility and drawing (see flares.h).
#include "engine/render/flares.h"
#include "engine/render/draw.h"

#include <GL/gl.h>
#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/render/passes.h"
#include "engine/render/render_common.h"

// --- internal helpers -----------------------------------------------------------------

static bool flares_is_flare(const KST_SCENE& scene, const KST_OBJECT& object)
{
    const KST_MATERIAL* m = kst_object_material(scene, object);
    return m != nullptr && m->FLARESIZE > 0.0f;
}

// True when every index the occluder draw would use names a vertex.
static bool flares_mesh_ok(const KST_OBJECT& o)
{
    if (o.VERTEX == nullptr)
        return false;
    if (o.RENDERMODE == 1) {
        if (o.STRIP == nullptr && o.STRIPLENGTH > 0)
            return false;
        for (int32_t i = 0; i < o.STRIPLENGTH; i++)
            if (o.STRIP[i] >= o.VERTICES)
                return false;
        return true;
    }
    if (o.FACE == nullptr && o.FACES > 0)
        return false;
    for (int32_t f = 0; f < o.FACES; f++) {
        const KST_FACE& t = o.FACE[f];
        if (t.A < 0 || t.B < 0 || t.C < 0 || t.A >= o.VERTICES || t.B >= o.VERTICES || t.C >= o.VERTICES)
            return false;
    }
    return true;
}

// Edge of the read-back block in pixels: 3 at 480 lines, odd at every scale
// so that the block stays centred on the point's pixel.
static int flares_block_edge()
{
    int edge = static_cast<int>(std::lround(kst_pixels(3.0f)));
    return std::max(1, edge | 1);
}

// The brightest red, green and blue of the block around the flare's raster
// position; black when the position is invalid (outside the view). The block
// is cut to the viewport so that nothing outside the picture is read.
static KST_RGB flares_measure(const KST_VECTOR& p)
{
    KST_RGB best{0.0f, 0.0f, 0.0f};
    glRasterPos3f(p.X, p.Y, p.Z);
    GLfloat raster[4] = {};
    GLboolean valid = GL_FALSE;
    glGetFloatv(GL_CURRENT_RASTER_POSITION, raster);
    glGetBooleanv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
    if (!valid || !std::isfinite(raster[0]) || !std::isfinite(raster[1]))
        return best;
    GLint view[4] = {};
    glGetIntegerv(GL_VIEWPORT, view);
    const int edge = flares_block_edge();
    double x0 = std::trunc(static_cast<double>(raster[0])) - (edge - 1) / 2;
    double y0 = std::trunc(static_cast<double>(raster[1])) - (edge - 1) / 2;
    double left = std::max(x0, static_cast<double>(view[0]));
    double bottom = std::max(y0, static_cast<double>(view[1]));
    double right = std::min(x0 + edge, static_cast<double>(view[0]) + view[2]);
    double top = std::min(y0 + edge, static_cast<double>(view[1]) + view[3]);
    if (right <= left || top <= bottom)
        return best;
    GLsizei w = static_cast<GLsizei>(right - left), h = static_cast<GLsizei>(top - bottom);
    std::vector<GLfloat> pixels(static_cast<size_t>(3 * w * h));
    kst_pixel_pack_tight();  // exactly w x h RGB floats, whatever alignment or row length the caller left
    glReadPixels(static_cast<GLint>(left), static_cast<GLint>(bottom), w, h, GL_RGB, GL_FLOAT, pixels.data());
    for (int i = 0; i < w * h; i++) {
        best.R = std::max(best.R, pixels[3 * i]);
        best.G = std::max(best.G, pixels[3 * i + 1]);
        best.B = std::max(best.B, pixels[3 * i + 2]);
    }
    return best;
}

// --- public functions -------------------------------------------------------------------

void KST_DRAW_OCCLUDER(const KST_SCENE& scene, int32_t index, float frame)
{
    if (index > scene.OBJECTS - 1 || index < 0 || scene.OBJ == nullptr)
        return;
    const KST_OBJECT& o = scene.OBJ[index];
    kst_render_pose(scene, index, frame);
    kst_push_track(scene, index, frame);
    if (o.BACKFACECULL) {
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
    } else {
        glDisable(GL_CULL_FACE);
    }
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 12, o.VERTEX);
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    if (flares_mesh_ok(o)) {
        if (o.RENDERMODE == 1 && o.STRIPLENGTH > 0)
            glDrawElements(GL_TRIANGLE_STRIP, o.STRIPLENGTH, GL_UNSIGNED_SHORT, o.STRIP);
        else if (o.RENDERMODE != 1 && o.FACES > 0)
            glDrawElements(GL_TRIANGLES, 3 * o.FACES, GL_UNSIGNED_INT, o.FACE);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glPopMatrix();
}

void KST_FLARES_VISIBILITY(KST_SCENE& scene, float frame)
{
    kst_scene_camera(scene, frame);
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
    glDisable(GL_TEXTURE_2D);
    const int32_t objects = scene.OBJ != nullptr ? scene.OBJECTS : 0;
    for (int32_t k = 0; k < objects; k++) {
        KST_OBJECT& o = scene.OBJ[k];
        if (!flares_is_flare(scene, o))
            continue;
        o.VISIBLE = false;
        const KST_RGB& c = kst_object_material(scene, o)->AMBIENT;
        KST_VECTOR p = kst_object_position(scene, k, frame);
        glEnable(GL_POINT_SMOOTH);
        glPointSize(kst_pixels(KST_FLAREPOINTSIZE));
        glColor3f(c.R, c.G, c.B);
        glBegin(GL_POINTS);
        glVertex3f(p.X, p.Y, p.Z);
        glEnd();
    }
    for (int32_t k = 0; k < objects; k++) {
        const KST_MATERIAL* m = kst_object_material(scene, scene.OBJ[k]);
        if (scene.OBJ[k].VISIBLE && m != nullptr && m->FLARESIZE == 0.0f)
            KST_DRAW_OCCLUDER(scene, k, frame);
    }
    for (int32_t k = 0; k < objects; k++) {
        if (flares_is_flare(scene, scene.OBJ[k]))
            scene.OBJ[k].TEMPCOLOR = flares_measure(kst_object_position(scene, k, frame));
    }
    glDisable(GL_ALPHA_TEST);
    glDepthMask(GL_TRUE);
}

void KST_FLARES_RENDER(KST_SCENE& scene, float frame)
{
    glEnable(GL_TEXTURE_2D);
    glDepthMask(GL_FALSE);
    KST_VECTOR right{}, up{};
    const bool facing = kst_billboard_basis(right, up);
    const int32_t objects = scene.OBJ != nullptr ? scene.OBJECTS : 0;
    for (int32_t k = 0; k < objects && facing; k++) {
        const KST_OBJECT& o = scene.OBJ[k];
        if (!flares_is_flare(scene, o))
            continue;
        const KST_MATERIAL& m = *kst_object_material(scene, o);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(m.TEXTURE));
        glDisable(GL_CULL_FACE);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        glColor3f(o.TEMPCOLOR.R, o.TEMPCOLOR.G, o.TEMPCOLOR.B);
        kst_billboard_draw(kst_object_position(scene, k, frame), m.FLARESIZE, right, up);
    }
    glDepthMask(GL_TRUE);
}
