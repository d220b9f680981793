// engine/render/flares.cpp - flare visibility and drawing (see flares.h).
#include "engine/render/flares.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/render/passes.h"
#include "engine/scene/spline.h"
#include "support/error.h"

// --- internal helpers -----------------------------------------------------------------

// The object's material, or nullptr when its index names none.
static const KST_MATERIAL* flares_material(const KST_SCENE& scene, const KST_OBJECT& object)
{
    if (scene.MATERIAL == nullptr || object.MATERIAL < 0 || object.MATERIAL >= scene.MATERIALS)
        return nullptr;
    return &scene.MATERIAL[object.MATERIAL];
}

static bool flares_is_flare(const KST_SCENE& scene, const KST_OBJECT& object)
{
    const KST_MATERIAL* m = flares_material(scene, object);
    return m != nullptr && m->FLARESIZE > 0.0f;
}

// POS, moved by the position track when the object has one.
static KST_VECTOR flares_position(const KST_SCENE& scene, int32_t k, float frame)
{
    const KST_OBJECT& object = scene.OBJ[k];
    KST_VECTOR p = object.POS;
    if (object.POSKEYS != 0) {
        KST_VECTOR t{};
        SPLINE_LINEAR_POS(t, scene, k, frame);
        p = KST_VECTOR{p.X + t.X, p.Y + t.Y, p.Z + t.Z};
    }
    return p;
}

// The scene render's camera: projection, camera vectors and look-at; no lights.
static void flares_camera(const KST_SCENE& scene, float frame)
{
    if (scene.CAMPOSKEYS == 0 || scene.CAMTARGETKEYS == 0)
        ERROR_REPORT("KESTREL: Scene not renderable without camera animation target and position track");
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(static_cast<double>(scene.CAMFOV) * 180.0 / std::numbers::pi, 1.3333333333333333,
                   scene.CAMNEAR, scene.CAMFAR);
    SPLINE_CAMVECTORS(KST_CAMERAPOS, KST_CAMERATARGET, scene, frame);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(KST_CAMERAPOS.X, KST_CAMERAPOS.Y, KST_CAMERAPOS.Z, KST_CAMERATARGET.X,
              KST_CAMERATARGET.Y, KST_CAMERATARGET.Z, 0.0, 0.0, 1.0);
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

// The brightest red, green and blue of the 3 x 3 block around the flare's
// raster position; black when the position is invalid (outside the view). The
// block is cut to the viewport so that nothing outside the window is read.
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
    double x0 = std::trunc(static_cast<double>(raster[0])) - 1.0;
    double y0 = std::trunc(static_cast<double>(raster[1])) - 1.0;
    double left = std::max(x0, static_cast<double>(view[0]));
    double bottom = std::max(y0, static_cast<double>(view[1]));
    double right = std::min(x0 + 3.0, static_cast<double>(view[0]) + view[2]);
    double top = std::min(y0 + 3.0, static_cast<double>(view[1]) + view[3]);
    if (right <= left || top <= bottom)
        return best;
    GLsizei w = static_cast<GLsizei>(right - left), h = static_cast<GLsizei>(top - bottom);
    GLfloat pixels[27] = {};
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glReadPixels(static_cast<GLint>(left), static_cast<GLint>(bottom), w, h, GL_RGB, GL_FLOAT, pixels);
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
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    if (o.POSKEYS != 0) {
        KST_VECTOR t{};
        SPLINE_LINEAR_POS(t, scene, index, frame);
        glTranslatef(t.X, t.Y, t.Z);
    }
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
    flares_camera(scene, frame);
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
    glDisable(GL_TEXTURE_2D);
    const int32_t objects = scene.OBJ != nullptr ? scene.OBJECTS : 0;
    for (int32_t k = 0; k < objects; k++) {
        KST_OBJECT& o = scene.OBJ[k];
        if (!flares_is_flare(scene, o))
            continue;
        o.VISIBLE = false;
        const KST_RGB& c = flares_material(scene, o)->AMBIENT;
        KST_VECTOR p = flares_position(scene, k, frame);
        glEnable(GL_POINT_SMOOTH);
        glPointSize(KST_FLAREPOINTSIZE);
        glColor3f(c.R, c.G, c.B);
        glBegin(GL_POINTS);
        glVertex3f(p.X, p.Y, p.Z);
        glEnd();
    }
    for (int32_t k = 0; k < objects; k++) {
        const KST_MATERIAL* m = flares_material(scene, scene.OBJ[k]);
        if (scene.OBJ[k].VISIBLE && m != nullptr && m->FLARESIZE == 0.0f)
            KST_DRAW_OCCLUDER(scene, k, frame);
    }
    for (int32_t k = 0; k < objects; k++) {
        if (flares_is_flare(scene, scene.OBJ[k]))
            scene.OBJ[k].TEMPCOLOR = flares_measure(flares_position(scene, k, frame));
    }
    glDisable(GL_ALPHA_TEST);
    glDepthMask(GL_TRUE);
}

void KST_FLARES_RENDER(KST_SCENE& scene, float frame)
{
    glEnable(GL_TEXTURE_2D);
    glDepthMask(GL_FALSE);
    const double vx = KST_CAMERAPOS.X - KST_CAMERATARGET.X;
    const double vy = KST_CAMERAPOS.Y - KST_CAMERATARGET.Y;
    const double vz = KST_CAMERAPOS.Z - KST_CAMERATARGET.Z;
    const double h = std::sqrt(vx * vx + vz * vz);
    const double ux = -vx * vy, uy = vx * vx + vz * vz, uz = -vz * vy;
    const double ulen = std::sqrt(ux * ux + uy * uy + uz * uz);
    const int32_t objects = scene.OBJ != nullptr ? scene.OBJECTS : 0;
    for (int32_t k = 0; k < objects && h != 0.0 && ulen != 0.0; k++) {
        const KST_OBJECT& o = scene.OBJ[k];
        if (!flares_is_flare(scene, o))
            continue;
        const KST_MATERIAL& m = *flares_material(scene, o);
        const float s = m.FLARESIZE;
        const KST_VECTOR p = flares_position(scene, k, frame);
        const float rx = static_cast<float>(-vz / h) * s, rz = static_cast<float>(vx / h) * s;
        const float sx = static_cast<float>(ux / ulen) * s, sy = static_cast<float>(uy / ulen) * s,
                    sz = static_cast<float>(uz / ulen) * s;
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(m.TEXTURE));
        glDisable(GL_CULL_FACE);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        glColor3f(o.TEMPCOLOR.R, o.TEMPCOLOR.G, o.TEMPCOLOR.B);
        glBegin(GL_TRIANGLE_STRIP);
        glTexCoord2f(0.0f, 0.0f);
        glVertex3f(p.X - rx, p.Y, p.Z - rz);
        glTexCoord2f(1.0f, 0.0f);
        glVertex3f(p.X - sx, p.Y - sy, p.Z - sz);
        glTexCoord2f(0.0f, 1.0f);
        glVertex3f(p.X + sx, p.Y + sy, p.Z + sz);
        glTexCoord2f(1.0f, 1.0f);
        glVertex3f(p.X + rx, p.Y, p.Z + rz);
        glEnd();
    }
    glDepthMask(GL_TRUE);
}
