// engine/render/draw.cpp - drawing one object of a prepared scene.
//
// KST_DRAW_OBJECT draws a mesh straight from the object's own arrays with GL
// client-side vertex arrays and one indexed draw call: no copy, no processor-side
// transform, no allocation per frame. Per object and per call it sets fog, the
// model transform (position track, then the static rotation about the pivot
// POS), distance culling against the camera of the last scene render, face
// culling, the lighting switch, texture binding with maximum anisotropy and the
// wrap mode, the material colours and the texture matrix (tiling by UTILE/VTILE
// and scrolling by UVDELTA per frame). A material with an environment map gets a
// second draw of the same mesh with sphere-mapped texture coordinates and depth
// function GL_EQUAL, so the layer lands exactly on the object's own pixels.
//
// KST_DRAW_OBJECT_SHADOWED is the variant for the shadow-receiving scene render:
// it leaves fog and anisotropy alone, does not scroll, and dims the diffuse and
// specular colours of shadow receivers by the scene's SHADOWVALUE.
//
// Blending, alpha test and the depth state come from the scene passes
// (passes.cpp), which call these once per visible object and pass. The state
// left behind is part of the contract: the texture matrix stays as set here,
// culling, lighting and texturing as the object set them, client arrays off,
// and after an environment pass depth function GL_LEQUAL and blending off.
//
// Known limits: an object whose MATERIAL index lies outside the scene's
// materials (a configuration file can set any index) is skipped without a GL
// call, and a draw whose array is missing is skipped, so data edited after
// loading never makes GL read outside an array.
#include "engine/render/draw.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>

#include "engine/render/passes.h"
#include "engine/render/render_common.h"

// --- module state -------------------------------------------------------------
bool kst_render_skip_draws = false;

// --- internal helpers ---------------------------------------------------------
// The object and its material, or nullptr when either index is out of range.
static const KST_OBJECT* kst_draw_object_at(const KST_SCENE& scene, int32_t index)
{
    if (index < 0 || index > scene.OBJECTS - 1 || !scene.OBJ)
        return nullptr;
    const KST_OBJECT& o = scene.OBJ[index];
    return kst_object_material(scene, o) ? &o : nullptr;
}

static void kst_draw_fog(const KST_OBJECT& o)
{
    if (!o.USEFOG) {
        glDisable(GL_FOG);
        return;
    }
    glEnable(GL_FOG);
    switch (o.FOGMODE) {
    case 0: glFogi(GL_FOG_MODE, GL_LINEAR); break;
    case 1: glFogi(GL_FOG_MODE, GL_EXP); break;
    case 2: glFogi(GL_FOG_MODE, GL_EXP2); break;
    default: break;   // the mode of an earlier object stays
    }
    glFogf(GL_FOG_DENSITY, o.FOGPARAM.DENSITY);
    glFogf(GL_FOG_START, o.FOGPARAM.FOGSTART);
    glFogf(GL_FOG_END, o.FOGPARAM.FOGEND);
    const GLfloat colour[4] = {o.FOGCOLOR.R, o.FOGCOLOR.G, o.FOGCOLOR.B, o.FOGCOLOR.A};
    glFogfv(GL_FOG_COLOR, colour);
}

// T(track) . T(POS) . Rx . Ry . Rz . T(-POS) on a pushed model-view matrix.
static void kst_draw_transform(const KST_SCENE& scene, int32_t index, float frame)
{
    const KST_OBJECT& o = scene.OBJ[index];
    kst_push_track(scene, index, frame);
    glTranslatef(o.POS.X, o.POS.Y, o.POS.Z);
    glRotatef(o.STATICROTATE.X, 1.0f, 0.0f, 0.0f);
    glRotatef(o.STATICROTATE.Y, 0.0f, 1.0f, 0.0f);
    glRotatef(o.STATICROTATE.Z, 0.0f, 0.0f, 1.0f);
    glTranslatef(-o.POS.X, -o.POS.Y, -o.POS.Z);
}

// LOD 0 always; LOD 1 while the pivot is within DRAWDISTANCE of the camera.
static bool kst_draw_in_range(const KST_SCENE& scene, const KST_OBJECT& o)
{
    if (o.LOD == 0)
        return true;
    if (o.LOD != 1)
        return false;
    double dx = static_cast<double>(KST_CAMERAPOS.X) - o.POS.X;
    double dy = static_cast<double>(KST_CAMERAPOS.Y) - o.POS.Y;
    double dz = static_cast<double>(KST_CAMERAPOS.Z) - o.POS.Z;
    return std::sqrt(dx * dx + dy * dy + dz * dz) <= scene.DRAWDISTANCE;
}

static void kst_draw_texture(const KST_MATERIAL& m, bool anisotropy)
{
    if (!m.TEXTURED) {
        glDisable(GL_TEXTURE_2D);
        return;
    }
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(m.TEXTURE));
    if (anisotropy) {
        GLfloat most = 1.0f;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &most);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, most);
    }
    GLint wrap = m.TEXTUREWRAP == 1 ? GL_CLAMP_TO_EDGE : GL_REPEAT;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
}

// Material colours; `dim` scales diffuse and specular (1 leaves them as stored).
static void kst_draw_material(const KST_MATERIAL& m, float dim)
{
    const GLfloat ambient[4] = {m.AMBIENT.R, m.AMBIENT.G, m.AMBIENT.B, 1.0f};
    const GLfloat diffuse[4] = {m.DIFFUSE.R * dim, m.DIFFUSE.G * dim, m.DIFFUSE.B * dim, 1.0f};
    const GLfloat specular[4] = {m.SPECULAR.R * dim, m.SPECULAR.G * dim, m.SPECULAR.B * dim, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glShadeModel(GL_SMOOTH);
    glMateriali(GL_FRONT_AND_BACK, GL_SHININESS, m.SHINE);
}

// Tiling, and with `scroll` the frame-based translation; GL_TEXTURE stays selected.
static void kst_draw_texture_matrix(const KST_OBJECT& o, const KST_MATERIAL& m, float frame, bool scroll)
{
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glScalef(m.UTILE, m.VTILE, 1.0f);
    if (scroll)
        glTranslatef(o.UVDELTA.X * frame, o.UVDELTA.Y * frame, o.UVDELTA.Z * frame);
}

// The one indexed draw call of the mesh: the strip for RENDERMODE 1, else the faces.
static void kst_draw_mesh(const KST_OBJECT& o)
{
    if (kst_render_skip_draws || !o.VERTEX)
        return;
    if (o.RENDERMODE == 1) {
        if (o.STRIP && o.STRIPLENGTH > 0)
            glDrawElements(GL_TRIANGLE_STRIP, o.STRIPLENGTH, GL_UNSIGNED_SHORT, o.STRIP);
    } else if (o.FACE && o.FACES > 0) {
        glDrawElements(GL_TRIANGLES, 3 * o.FACES, GL_UNSIGNED_INT, o.FACE);
    }
}

static bool kst_draw_has_normals(const KST_OBJECT& o)
{
    return o.NORMALS && o.VERTEXNORMAL;
}

// Base draw. `receiver` (shadowed variant, RECEIVESHADOW) colours with the
// undimmed diffuse colour and no colour array.
static void kst_draw_base(const KST_OBJECT& o, const KST_MATERIAL& m, bool receiver)
{
    bool normals = kst_draw_has_normals(o);
    bool texcoords = o.TEXTURE && m.TEXTURED && o.TEXCOORD;
    bool colours = o.COLOR && o.CVERTEX && !receiver;
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 12, o.VERTEX);
    if (normals) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 12, o.VERTEXNORMAL);
    }
    if (texcoords) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 8, o.TEXCOORD);
    }
    if (colours) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(3, GL_FLOAT, 12, o.CVERTEX);
    }
    const KST_RGB& c = receiver ? m.DIFFUSE : m.AMBIENT;
    glColor4f(c.R, c.G, c.B, m.CONSTANTALPHA);
    kst_draw_mesh(o);
    glDisableClientState(GL_VERTEX_ARRAY);
    if (normals)
        glDisableClientState(GL_NORMAL_ARRAY);
    if (o.TEXTURE)
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    if (colours)
        glDisableClientState(GL_COLOR_ARRAY);
}

// Sphere-mapped layer over the object's own pixels (depth GL_EQUAL).
static void kst_draw_environment(const KST_OBJECT& o, const KST_MATERIAL& m, bool shadowed)
{
    bool normals = kst_draw_has_normals(o);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(m.ENVTEXTURE));
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glDepthFunc(GL_EQUAL);
    glEnable(GL_BLEND);
    if (m.ENVMODE && !shadowed)
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    else
        glBlendFunc(GL_ONE, GL_ONE);
    if (!shadowed)
        glColor4f(m.ENVMAPCOLOR.R, m.ENVMAPCOLOR.G, m.ENVMAPCOLOR.B, m.ENVMAPALPHA);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 12, o.VERTEX);
    if (normals) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 12, o.VERTEXNORMAL);
    }
    kst_draw_mesh(o);
    glDisableClientState(GL_VERTEX_ARRAY);
    if (normals)
        glDisableClientState(GL_NORMAL_ARRAY);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_BLEND);
}

// Both draws: the shadowed variant differs in fog, anisotropy, dimming,
// scrolling and the environment layer's blending and colour.
static void kst_draw(const KST_SCENE& scene, int32_t index, float frame, bool shadowed)
{
    const KST_OBJECT* object = kst_draw_object_at(scene, index);
    if (!object)
        return;
    const KST_OBJECT& o = *object;
    const KST_MATERIAL& m = scene.MATERIAL[o.MATERIAL];
    if (!shadowed)
        kst_draw_fog(o);
    kst_draw_transform(scene, index, frame);
    if (kst_draw_in_range(scene, o)) {
        if (o.BACKFACECULL) {
            glEnable(GL_CULL_FACE);
            glCullFace(GL_BACK);
        } else {
            glDisable(GL_CULL_FACE);
        }
        if (m.RECEIVELIGHT)
            glEnable(GL_LIGHTING);
        else
            glDisable(GL_LIGHTING);
        kst_draw_texture(m, !shadowed);
        bool receiver = shadowed && o.RECEIVESHADOW;
        kst_draw_material(m, receiver ? scene.SHADOWVALUE : 1.0f);
        kst_draw_texture_matrix(o, m, frame, !shadowed);
        kst_draw_base(o, m, receiver);
        if (m.ENVMAP)
            kst_draw_environment(o, m, shadowed);
    }
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    if (!shadowed)
        glDisable(GL_FOG);
}

// --- public functions ---------------------------------------------------------
void KST_DRAW_OBJECT(const KST_SCENE& scene, int32_t index, float frame)
{
    kst_draw(scene, index, frame, false);
}

void KST_DRAW_OBJECT_SHADOWED(const KST_SCENE& scene, int32_t index, float frame)
{
    kst_draw(scene, index, frame, true);
}
