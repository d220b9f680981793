// engine/render/shadows.cpp - stencil shadow volumes (see shadows.h).
#include "engine/render/shadows.h"
#include "engine/render/draw.h"

#include <GL/gl.h>

#include <utility>

#include "engine/scene/spline.h"
#include "engine/scene/vecmath.h"

// --- module state ---------------------------------------------------------------------
float KST_SHADOWEXTRUDE = 0.0f;

// --- internal helpers -----------------------------------------------------------------

// Face across edge k of face f, or -1 when there is none or the stored index
// does not name a face of this object.
static int32_t shadow_neighbour(const KST_OBJECT& object, int32_t f, int k)
{
    if (object.NEIGHBOUR == nullptr)
        return -1;
    const KST_FACE& n = object.NEIGHBOUR[f];
    int32_t face = k == 0 ? n.A : (k == 1 ? n.B : n.C);
    return face >= 0 && face < object.FACES ? face : -1;
}

static int32_t shadow_corner(const KST_FACE& face, int k)
{
    return k == 0 ? face.A : (k == 1 ? face.B : face.C);
}

static bool shadow_vertex_ok(const KST_OBJECT& object, int32_t v)
{
    return v >= 0 && v < object.VERTICES;
}

// The point moved away from the light by E times its distance from it.
static KST_VECTOR shadow_extrude(const KST_VECTOR& p, const KST_VECTOR& light, float e)
{
    KST_VECTOR away, far;
    KST_VECTOR_SUB(p, light, away);
    KST_VECTOR_SCALE(away, e, away);
    KST_VECTOR_ADD(p, away, far);
    return far;
}

// Draws the current volume twice into the stencil buffer: front faces
// incrementing, back faces decrementing, where they pass the depth test.
static void shadow_draw_volume(const KST_SCENE& scene)
{
    GLsizei count = static_cast<GLsizei>(6 * static_cast<int64_t>(scene.VOLUMEARRAYLENGTH));
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 12, scene.VOLUMEARRAY);
    bool drawable = count > 0 && scene.VOLUMEARRAY != nullptr && scene.VOLUMEARRAYINDEX != nullptr;
    glStencilOp(GL_KEEP, GL_KEEP, GL_INCR);
    glCullFace(GL_BACK);
    if (drawable)
        glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_INT, scene.VOLUMEARRAYINDEX);
    glStencilOp(GL_KEEP, GL_KEEP, GL_DECR);
    glCullFace(GL_FRONT);
    if (drawable)
        glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_INT, scene.VOLUMEARRAYINDEX);
    glDisableClientState(GL_VERTEX_ARRAY);
}

// The corners of the volume built so far carried from a caster's vertex
// coordinates to the world: p -> pivot + track + linear . (p - pivot). A
// mirroring placement (negative determinant) turns each quad round, so that
// its front face stays on the outside of the volume.
static void shadow_carry_out(KST_SCENE& scene, const double linear[3][3], const double pivot[3],
                             const double track[3])
{
    const double det = linear[0][0] * (linear[1][1] * linear[2][2] - linear[1][2] * linear[2][1]) -
                       linear[0][1] * (linear[1][0] * linear[2][2] - linear[1][2] * linear[2][0]) +
                       linear[0][2] * (linear[1][0] * linear[2][1] - linear[1][1] * linear[2][0]);
    for (int64_t q = 0; q < scene.VOLUMEARRAYLENGTH; ++q) {
        KST_VECTOR* quad = scene.VOLUMEARRAY + 4 * q;
        for (int c = 0; c < 4; ++c) {
            const double d[3] = {quad[c].X - pivot[0], quad[c].Y - pivot[1], quad[c].Z - pivot[2]};
            double w[3];
            for (int r = 0; r < 3; ++r)
                w[r] = linear[r][0] * d[0] + linear[r][1] * d[1] + linear[r][2] * d[2] + pivot[r] + track[r];
            quad[c] = KST_VECTOR{static_cast<float>(w[0]), static_cast<float>(w[1]), static_cast<float>(w[2])};
        }
        if (det < 0.0) {
            std::swap(quad[0], quad[3]);
            std::swap(quad[1], quad[2]);
        }
    }
}

// A caster whose rotation and scale tracks play (kst_spline_motion) is worked
// in its own vertex coordinates: the light is carried there by the inverse of
// its placement, the silhouette and the volume are built there with no
// offset, and the volume's corners are carried out again. Which faces the
// light sees and where the extruded corners fall are the same either way,
// since the placement is affine. A placement without an inverse (a scale of
// 0) leaves the caster flat, and it throws no volume.
static void shadow_build_moved(KST_SCENE& scene, KST_OBJECT& object, const double linear[3][3],
                               const KST_VECTOR& light, const KST_VECTOR& offset)
{
    double inv[3][3];
    if (!kst_spline_invert(linear, inv))
        return;
    const double pivot[3] = {object.POS.X, object.POS.Y, object.POS.Z};
    const double track[3] = {offset.X, offset.Y, offset.Z};
    const double d[3] = {light.X - pivot[0] - track[0], light.Y - pivot[1] - track[1], light.Z - pivot[2] - track[2]};
    double l[3];
    for (int r = 0; r < 3; ++r)
        l[r] = inv[r][0] * d[0] + inv[r][1] * d[1] + inv[r][2] * d[2] + pivot[r];
    const KST_VECTOR local{static_cast<float>(l[0]), static_cast<float>(l[1]), static_cast<float>(l[2])};
    KST_VECTOR zero;
    KST_VECTOR_EMPTY(zero);
    KST_SHADOW_LIGHTVISIBLE(object, local, zero);
    KST_SHADOW_CONTOUR(object);
    KST_SHADOW_BUILDVOLUME(scene, object, local, zero);
    shadow_carry_out(scene, linear, pivot, track);
}

// --- public functions -------------------------------------------------------------------

void KST_SHADOW_LIGHTVISIBLE(KST_OBJECT& object, const KST_VECTOR& light, const KST_VECTOR& offset)
{
    if (object.FACECENTER == nullptr || object.FACENORMAL == nullptr || object.LIGHTVISIBLE == nullptr)
        return;
    for (int32_t f = 0; f < object.FACES; f++) {
        KST_VECTOR c, d;
        KST_VECTOR_ADD(object.FACECENTER[f], offset, c);
        KST_VECTOR_SUB(c, light, d);
        const KST_VECTOR& n = object.FACENORMAL[f];
        object.LIGHTVISIBLE[f] = d.X * n.X + d.Y * n.Y + d.Z * n.Z > 0.0f;
    }
}

void KST_SHADOW_CONTOUR(KST_OBJECT& object)
{
    if (object.CONTOUR == nullptr || object.LIGHTVISIBLE == nullptr)
        return;
    for (int64_t i = 0; i < 3 * static_cast<int64_t>(object.FACES); i++)
        object.CONTOUR[i] = false;
    for (int32_t f = 0; f < object.FACES; f++) {
        if (!object.LIGHTVISIBLE[f])
            continue;
        for (int k = 0; k < 3; k++) {
            int32_t n = shadow_neighbour(object, f, k);
            if (n == -1 || !object.LIGHTVISIBLE[n])
                object.CONTOUR[3 * static_cast<int64_t>(f) + k] = true;
        }
    }
}

void KST_SHADOW_BUILDVOLUME(KST_SCENE& scene, KST_OBJECT& object, const KST_VECTOR& light,
                            const KST_VECTOR& offset)
{
    if (object.CONTOUR == nullptr || object.FACE == nullptr || object.VERTEX == nullptr ||
        scene.VOLUMEARRAY == nullptr)
        return;
    const float e = KST_SHADOWEXTRUDE;
    for (int32_t f = 0; f < object.FACES; f++) {
        for (int k = 0; k < 3; k++) {
            if (!object.CONTOUR[3 * static_cast<int64_t>(f) + k])
                continue;
            int32_t a = shadow_corner(object.FACE[f], k);
            int32_t b = shadow_corner(object.FACE[f], (k + 1) % 3);
            if (!shadow_vertex_ok(object, a) || !shadow_vertex_ok(object, b))
                continue;
            int64_t n = scene.VOLUMEARRAYLENGTH;
            if (n < 0 || n >= scene.kst_volume_slots)
                return;  // the prepared buffers are full: refuse the rest
            KST_VECTOR pa, pb;
            KST_VECTOR_ADD(object.VERTEX[a], offset, pa);
            KST_VECTOR_ADD(object.VERTEX[b], offset, pb);
            KST_VECTOR* quad = scene.VOLUMEARRAY + 4 * n;
            quad[0] = pa;
            quad[1] = shadow_extrude(pa, light, e);
            quad[2] = shadow_extrude(pb, light, e);
            quad[3] = pb;
            scene.VOLUMEARRAYLENGTH = static_cast<int32_t>(n + 1);
        }
    }
}

void KST_SHADOW_RENDER(KST_SCENE& scene, const KST_VECTOR& light, float frame)
{
    KST_SHADOWEXTRUDE = scene.INFINITY;
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_STENCIL_TEST);
    glDepthMask(GL_FALSE);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glStencilFunc(GL_ALWAYS, 0, ~0u);
    glStencilMask(~0u);  // the counting needs every bit writable
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    scene.VOLUMEARRAYLENGTH = 0;
    for (int32_t k = 0; k < scene.OBJECTS && scene.OBJ != nullptr; k++) {
        KST_OBJECT& object = scene.OBJ[k];
        if (!object.VISIBLE || !object.CASTSHADOW)
            continue;
        scene.VOLUMEARRAYLENGTH = 0;
        kst_render_pose(scene, k, frame);
        KST_VECTOR offset;
        KST_VECTOR_EMPTY(offset);
        if (object.POSKEYS != 0)
            SPLINE_LINEAR_POS(offset, scene, k, frame);
        double linear[3][3];
        if (kst_spline_motion(linear, scene, k, frame)) {
            shadow_build_moved(scene, object, linear, light, offset);
        } else {
            KST_SHADOW_LIGHTVISIBLE(object, light, offset);
            KST_SHADOW_CONTOUR(object);
            KST_SHADOW_BUILDVOLUME(scene, object, light, offset);
        }
        shadow_draw_volume(scene);
    }
    glCullFace(GL_BACK);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glDepthMask(GL_TRUE);
    glEnable(GL_TEXTURE_2D);
}
