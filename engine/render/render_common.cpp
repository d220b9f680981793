// engine/render/render_common.cpp - shared renderer pieces (see render_common.h).
#include "engine/render/render_common.h"

#include <GL/gl.h>
#include <cmath>

#include "engine/render/passes.h"
#include "engine/scene/spline.h"

void kst_apply_blend(uint8_t blend)
{
    switch (blend) {
    case 0: glDisable(GL_BLEND); break;
    case 1: glEnable(GL_BLEND); glBlendFunc(GL_ONE, GL_ONE); break;
    case 2: glEnable(GL_BLEND); glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); break;
    case 3: glEnable(GL_BLEND); glBlendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA); break;
    case 4: glEnable(GL_BLEND); glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR); break;
    default: break;  // blend state stays as it is
    }
}

const KST_MATERIAL* kst_object_material(const KST_SCENE& scene, const KST_OBJECT& object)
{
    if (!scene.MATERIAL || object.MATERIAL < 0 || object.MATERIAL >= scene.MATERIALS)
        return nullptr;
    return &scene.MATERIAL[object.MATERIAL];
}

void kst_push_track(const KST_SCENE& scene, int32_t index, float frame)
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    if (scene.OBJ[index].POSKEYS != 0) {
        KST_VECTOR track{};
        SPLINE_LINEAR_POS(track, scene, index, frame);
        glTranslatef(track.X, track.Y, track.Z);
    }
}

KST_VECTOR kst_object_position(const KST_SCENE& scene, int32_t index, float frame)
{
    const KST_OBJECT& o = scene.OBJ[index];
    KST_VECTOR p = o.POS;
    if (o.POSKEYS != 0) {
        KST_VECTOR track{};
        SPLINE_LINEAR_POS(track, scene, index, frame);
        p = KST_VECTOR{p.X + track.X, p.Y + track.Y, p.Z + track.Z};
    }
    return p;
}

bool kst_billboard_basis(KST_VECTOR& right, KST_VECTOR& up)
{
    float vx = KST_CAMERAPOS.X - KST_CAMERATARGET.X;
    float vy = KST_CAMERAPOS.Y - KST_CAMERATARGET.Y;
    float vz = KST_CAMERAPOS.Z - KST_CAMERATARGET.Z;
    float h = std::sqrt(vx * vx + vz * vz);
    KST_VECTOR u{-vx * vy, vx * vx + vz * vz, -vz * vy};
    float ulen = std::sqrt(u.X * u.X + u.Y * u.Y + u.Z * u.Z);
    if (h == 0.0f || ulen == 0.0f || !std::isfinite(h) || !std::isfinite(ulen))
        return false;
    right = KST_VECTOR{-vz / h, 0.0f, vx / h};
    up = KST_VECTOR{u.X / ulen, u.Y / ulen, u.Z / ulen};
    return true;
}

static void kst_billboard_vertex(const KST_VECTOR& p, float s, const KST_VECTOR& axis)
{
    glVertex3f(p.X + s * axis.X, p.Y + s * axis.Y, p.Z + s * axis.Z);
}

void kst_billboard_draw(const KST_VECTOR& p, float s, const KST_VECTOR& right, const KST_VECTOR& up)
{
    glBegin(GL_TRIANGLE_STRIP);
    glTexCoord2f(0.0f, 0.0f);
    kst_billboard_vertex(p, -s, right);
    glTexCoord2f(1.0f, 0.0f);
    kst_billboard_vertex(p, -s, up);
    glTexCoord2f(0.0f, 1.0f);
    kst_billboard_vertex(p, s, up);
    glTexCoord2f(1.0f, 1.0f);
    kst_billboard_vertex(p, s, right);
    glEnd();
}

void kst_state_reset()
{
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_LIGHTING);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
}
