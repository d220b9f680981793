// engine/render/draw.cpp - drawing one object of a prepared scene.
//
// KST_DRAW_OBJECT draws a mesh from the object's own arrays with one indexed
// draw call: from GL buffer objects uploaded once (geometry.cpp), or with GL
// client-side vertex arrays where buffer objects are unavailable; no
// processor-side transform, no allocation per frame. Per object and per call
// it sets fog, the model transform (position track, then the static rotation about the pivot
// POS, and inside it the rotation and scale tracks for scenes that ask for
// them), distance culling against the camera of the last scene render, face
// culling, the lighting switch, texture binding with maximum anisotropy and the
// wrap mode, the material colours and the texture matrix (tiling by UTILE/VTILE
// and scrolling by UVDELTA per frame). A material with an environment map gets a
// second draw of the same mesh with sphere-mapped texture coordinates and depth
// function GL_EQUAL, so the layer lands exactly on the object's own pixels.
//
// A skinned or morphed object is posed at the frame first (kst_render_pose),
// so its vertex and normal arrays, buffers and bounds hold that frame's shape.
//
// KST_DRAW_OBJECT_SHADOWED is the variant for the shadow-receiving scene render:
// it leaves fog and anisotropy alone, does not scroll, and dims the diffuse and
// specular colours of shadow receivers by the scene's SHADOWVALUE.
//
// Blending, alpha test and the depth state come from the scene passes
// (passes.cpp), which call these once per visible object and pass. The state
// left behind is part of the contract: the texture matrix stays as set here,
// culling, lighting and texturing as the object set them, client arrays off,
// and after an environment pass depth function GL_LEQUAL and blending off. An
// object scaled by its scale track is drawn with GL_NORMALIZE on (its normals
// scale with it), which is switched off again after its draw.
//
// Inside the scene passes an object whose bounds lie wholly outside the view
// volume (culling.cpp) makes every state call it would make but no matrix,
// array or draw call, so what it leaves behind for later objects is unchanged.
// The faces of a textured face list that are seen edge on are drawn, in their
// place in the list, with anisotropy 1 (see culling.cpp for why).
//
// Known limits: an object whose MATERIAL index lies outside the scene's
// materials (a configuration file can set any index) is skipped without a GL
// call, and a draw whose array is missing is skipped, so data edited after
// loading never makes GL read outside an array.
#include "engine/render/draw.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>

#include "engine/render/culling.h"
#include "engine/render/geometry.h"
#include "engine/render/passes.h"
#include "engine/render/render_common.h"

// --- module state -------------------------------------------------------------
bool             kst_render_skip_draws = false;
kst_render_stats KST_RENDER_STATS{0, 0};

// What one draw of one object works with: the object, its buffers (or none),
// whether it is culled, and the anisotropy its texture was given (0: not set).
struct kst_draw_job {
    const KST_SCENE&      scene;
    int32_t               index;
    float                 frame;
    const KST_OBJECT&     o;
    const kst_gpu_object* gpu;
    bool                  culled;
    float                 anisotropy;
};

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

// T(track) . T(POS) . Rx . Ry . Rz . [motion] . T(-POS) on a pushed model-view
// matrix; the motion (rotation and scale tracks) only for scenes that ask for
// it. With a scale track GL_NORMALIZE goes on for the draw; true then.
static bool kst_draw_transform(const KST_SCENE& scene, int32_t index, float frame)
{
    const KST_OBJECT& o = scene.OBJ[index];
    kst_push_position(scene, index, frame);
    glTranslatef(o.POS.X, o.POS.Y, o.POS.Z);
    glRotatef(o.STATICROTATE.X, 1.0f, 0.0f, 0.0f);
    glRotatef(o.STATICROTATE.Y, 0.0f, 1.0f, 0.0f);
    glRotatef(o.STATICROTATE.Z, 0.0f, 0.0f, 1.0f);
    const bool scaled = kst_multiply_motion(scene, index, frame) == 2;
    glTranslatef(-o.POS.X, -o.POS.Y, -o.POS.Z);
    if (scaled)
        glEnable(GL_NORMALIZE);
    return scaled;
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

// Returns the anisotropy set on the texture, 0 when none was set.
static float kst_draw_texture(const KST_MATERIAL& m, bool anisotropy)
{
    if (!m.TEXTURED) {
        glDisable(GL_TEXTURE_2D);
        return 0.0f;
    }
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(m.TEXTURE));
    GLfloat most = 0.0f;
    if (anisotropy) {
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &most);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, most);
    }
    GLint wrap = m.TEXTUREWRAP == 1 ? GL_CLAMP_TO_EDGE : GL_REPEAT;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    return most;
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

static void kst_draw_count(uint64_t triangles)
{
    KST_RENDER_STATS.triangles += triangles;
}

// Faces [first, first + count) of the face list.
static void kst_draw_faces(const kst_draw_job& j, int32_t first, int32_t count)
{
    const void* at = kst_geometry_at(j.gpu, static_cast<size_t>(first) * sizeof(KST_FACE), j.o.FACE + first);
    glDrawElements(GL_TRIANGLES, 3 * count, GL_UNSIGNED_INT, at);
}

// The face list in runs of grazing and other faces, the grazing ones with
// anisotropy 1; the texture keeps `anisotropy` afterwards. False when no face
// grazes, and nothing was drawn.
static bool kst_draw_faces_grazing(const kst_draw_job& j, float anisotropy)
{
    const KST_OBJECT& o = j.o;
    if (!o.FACENORMAL || !o.FACECENTER)
        return false;
    KST_VECTOR eye = kst_cull_eye_in_object(kst_cull_object_transform(j.scene, j.index, j.frame), KST_CAMERAPOS);
    int32_t f = 0;
    while (f < o.FACES && !kst_cull_face_grazing(o, f, eye))
        ++f;
    if (f == o.FACES)
        return false;
    int32_t start = 0;
    bool grazing = false;
    for (f = 0; f <= o.FACES; ++f) {
        bool g = f < o.FACES && kst_cull_face_grazing(o, f, eye);
        if (f < o.FACES && g == grazing)
            continue;
        if (f > start) {
            glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, grazing ? 1.0f : anisotropy);
            kst_draw_faces(j, start, f - start);
        }
        start = f;
        grazing = g;
    }
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, anisotropy);
    return true;
}

// The anisotropy of the bound texture when it is above 1, else 0.
static float kst_draw_bound_anisotropy()
{
    GLfloat a = 0.0f;
    glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &a);
    return a > 1.0f ? a : 0.0f;
}

// The one indexed draw call of the mesh: the strip for RENDERMODE 1, else the
// faces; `textured` faces may be split around grazing ones.
static void kst_draw_mesh(const kst_draw_job& j, bool textured)
{
    const KST_OBJECT& o = j.o;
    if (kst_render_skip_draws || !o.VERTEX)
        return;
    if (o.RENDERMODE == 1) {
        if (o.STRIP && o.STRIPLENGTH > 0) {
            glDrawElements(GL_TRIANGLE_STRIP, o.STRIPLENGTH, GL_UNSIGNED_SHORT,
                           kst_geometry_at(j.gpu, j.gpu ? j.gpu->strip_at : 0, o.STRIP));
            kst_draw_count(o.STRIPLENGTH > 2 ? static_cast<uint64_t>(o.STRIPLENGTH - 2) : 0);
        }
    } else if (o.FACE && o.FACES > 0) {
        float anisotropy = 0.0f;
        if (textured && kst_render_camera_known())
            anisotropy = j.anisotropy > 0.0f ? j.anisotropy : kst_draw_bound_anisotropy();
        if (anisotropy <= 1.0f || !kst_render_camera_known() || !kst_draw_faces_grazing(j, anisotropy))
            kst_draw_faces(j, 0, o.FACES);
        kst_draw_count(static_cast<uint64_t>(o.FACES));
    }
}

static bool kst_draw_has_normals(const KST_OBJECT& o)
{
    return o.NORMALS && o.VERTEXNORMAL;
}

// Binds the object's geometry (buffer objects or client arrays) and points
// the vertex array, and the normal array when there are normals, at it.
static void kst_draw_position_arrays(const kst_draw_job& j, bool normals)
{
    const kst_gpu_object* g = j.gpu;
    kst_geometry_bind(g);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 12, kst_geometry_at(g, 0, j.o.VERTEX));
    if (normals) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 12, kst_geometry_at(g, g ? g->normal_at : 0, j.o.VERTEXNORMAL));
    }
}

// Base draw. `receiver` (shadowed variant, RECEIVESHADOW) colours with the
// undimmed diffuse colour and no colour array. A culled object sets the
// current colour only.
static void kst_draw_base(const kst_draw_job& j, const KST_MATERIAL& m, bool receiver)
{
    const KST_OBJECT& o = j.o;
    const KST_RGB& c = receiver ? m.DIFFUSE : m.AMBIENT;
    if (j.culled) {
        glColor4f(c.R, c.G, c.B, m.CONSTANTALPHA);
        return;
    }
    bool normals = kst_draw_has_normals(o);
    bool texcoords = o.TEXTURE && m.TEXTURED && o.TEXCOORD;
    bool colours = o.COLOR && o.CVERTEX && !receiver;
    const kst_gpu_object* g = j.gpu;
    kst_draw_position_arrays(j, normals);
    if (texcoords) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 8, kst_geometry_at(g, g ? g->texcoord_at : 0, o.TEXCOORD));
    }
    if (colours) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(3, GL_FLOAT, 12, kst_geometry_at(g, g ? g->colour_at : 0, o.CVERTEX));
    }
    glColor4f(c.R, c.G, c.B, m.CONSTANTALPHA);
    kst_draw_mesh(j, m.TEXTURED && texcoords);
    KST_RENDER_STATS.objects += kst_render_skip_draws ? 0 : 1;
    glDisableClientState(GL_VERTEX_ARRAY);
    if (normals)
        glDisableClientState(GL_NORMAL_ARRAY);
    if (o.TEXTURE)
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    if (colours)
        glDisableClientState(GL_COLOR_ARRAY);
    kst_geometry_unbind(g);
}

// Sphere-mapped layer over the object's own pixels (depth GL_EQUAL). A culled
// object makes the state calls alone.
static void kst_draw_environment(const kst_draw_job& j, const KST_MATERIAL& m, bool shadowed)
{
    const KST_OBJECT& o = j.o;
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
    if (!j.culled) {
        const kst_gpu_object* g = j.gpu;
        kst_draw_position_arrays(j, normals);
        kst_draw_mesh(j, false);
        glDisableClientState(GL_VERTEX_ARRAY);
        if (normals)
            glDisableClientState(GL_NORMAL_ARRAY);
        kst_geometry_unbind(g);
    }
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_BLEND);
}

// Both draws: the shadowed variant differs in fog, anisotropy, dimming,
// scrolling and the environment layer's blending and colour. Distance culling
// comes first; a culled object skips the matrix work and the arrays.
static void kst_draw(const KST_SCENE& scene, int32_t index, float frame, bool shadowed)
{
    const KST_OBJECT* object = kst_draw_object_at(scene, index);
    if (!object)
        return;
    const KST_OBJECT& o = *object;
    const KST_MATERIAL& m = scene.MATERIAL[o.MATERIAL];
    kst_render_pose(scene, index, frame);
    if (!shadowed)
        kst_draw_fog(o);
    bool in_range = kst_draw_in_range(scene, o);
    bool culled = in_range && kst_render_culled(scene, index, frame);
    bool normalized = !culled && kst_draw_transform(scene, index, frame);
    if (in_range) {
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
        float anisotropy = kst_draw_texture(m, !shadowed);
        bool receiver = shadowed && o.RECEIVESHADOW;
        kst_draw_material(m, receiver ? scene.SHADOWVALUE : 1.0f);
        kst_draw_texture_matrix(o, m, frame, !shadowed);
        kst_draw_job job{scene, index, frame, o, culled ? nullptr : kst_geometry_for(scene, index), culled,
                         anisotropy};
        kst_draw_base(job, m, receiver);
        if (m.ENVMAP)
            kst_draw_environment(job, m, shadowed);
    }
    glMatrixMode(GL_MODELVIEW);
    if (!culled)
        glPopMatrix();
    if (normalized)
        glDisable(GL_NORMALIZE);
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
