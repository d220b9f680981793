// engine/render/geometry.cpp - object geometry in GL buffer objects.
//
// The renderer hands each mesh to GL once instead of every frame: the first
// draw of an object copies its vertex, normal, colour and texture-coordinate
// arrays into one GL_ARRAY_BUFFER (one after the other, each at its own
// offset, the same layout and strides as the client arrays) and its face and
// strip indices into one GL_ELEMENT_ARRAY_BUFFER. The draw then gives GL
// offsets instead of pointers; the array set-up, the conditions for each
// array and the draw calls stay exactly those of the client-array path, so the
// pictures are the same bytes.
//
// Buffer objects need OpenGL 1.5, checked at run time from GL_VERSION for the
// current context; without it, with KESTREL_NO_BUFFERS in the environment, or
// for an object whose indices point outside its vertices, the draw uses the
// client arrays as before. The buffers of a scene hang from its kst_gpu field:
// KST_SCENE_FREE deletes them (kst_render_release_geometry), and an object is
// uploaded again when its arrays were replaced or counts changed, or after
// kst_render_geometry_changed. A context change (the buffer names are unknown
// to the current context) also uploads again. Both targets are unbound after
// every draw, so shadow volumes, flares and particles keep drawing from client
// memory.
//
// Skinned and morphed objects change shape every frame in place
// (engine/scene/skin.h): kst_render_pose poses them and writes the new
// vertices and normals into their existing buffer (a dynamic one for such
// objects), instead of uploading the whole object again.
#define GL_GLEXT_PROTOTYPES 1
#include "engine/render/geometry.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdlib>

#include "engine/render/draw.h"
#include "engine/render/render_common.h"
#include "engine/scene/prepare.h"
#include "engine/scene/skin.h"
#include "support/mem.h"

struct kst_gpu_scene {
    int32_t         count = 0;
    kst_gpu_object* obj = nullptr;
};

// --- internal helpers ---------------------------------------------------------
static bool kst_geometry_disabled()
{
    static const bool disabled = std::getenv("KESTREL_NO_BUFFERS") != nullptr;
    return disabled;
}


static bool kst_geometry_indices_ok(const KST_OBJECT& o)
{
    for (int32_t f = 0; o.FACE && f < o.FACES; ++f) {
        const KST_FACE& face = o.FACE[f];
        if (face.A < 0 || face.A >= o.VERTICES || face.B < 0 || face.B >= o.VERTICES || face.C < 0 ||
            face.C >= o.VERTICES)
            return false;
    }
    for (int32_t s = 0; o.STRIP && s < o.STRIPLENGTH; ++s)
        if (o.STRIP[s] >= o.VERTICES)
            return false;
    return true;
}

static bool kst_geometry_current(const kst_gpu_object& g, const KST_OBJECT& o)
{
    return g.vertex == o.VERTEX && g.normal == o.VERTEXNORMAL && g.colour == o.CVERTEX &&
           g.texcoord == o.TEXCOORD && g.face == o.FACE && g.strip == o.STRIP && g.vertices == o.VERTICES &&
           g.faces == o.FACES && g.striplength == o.STRIPLENGTH;
}

static void kst_geometry_delete(kst_gpu_object& g)
{
    if (g.array)
        glDeleteBuffers(1, &g.array);
    if (g.index)
        glDeleteBuffers(1, &g.index);
    g = kst_gpu_object{};
}

static void kst_geometry_record(kst_gpu_object& g, const KST_OBJECT& o)
{
    g.vertex = o.VERTEX;
    g.normal = o.VERTEXNORMAL;
    g.colour = o.CVERTEX;
    g.texcoord = o.TEXCOORD;
    g.face = o.FACE;
    g.strip = o.STRIP;
    g.vertices = o.VERTICES;
    g.faces = o.FACES;
    g.striplength = o.STRIPLENGTH;
}

// Appends `bytes` of `data` (when present) to the array buffer being filled.
static size_t kst_geometry_put(GLenum target, size_t& at, const void* data, size_t bytes)
{
    size_t start = at;
    if (data && bytes > 0) {
        glBufferSubData(target, static_cast<GLintptr>(at), static_cast<GLsizeiptr>(bytes), data);
        at += bytes;
    }
    return start;
}

// GL keeps an error flag set until it is read, whoever caused it: the flags
// left by earlier, unrelated calls are read and dropped here, so that the
// check after the upload sees the upload's own errors only. GL may hold one
// flag per kind of error; a context that keeps answering (a lost context
// answers GL_CONTEXT_LOST for ever) is left after a few reads.
static void kst_geometry_clear_errors()
{
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

static void kst_geometry_upload(kst_gpu_object& g, const KST_OBJECT& o)
{
    kst_geometry_delete(g);
    kst_geometry_record(g, o);
    if (!o.VERTEX || o.VERTICES <= 0 || !kst_geometry_indices_ok(o))
        return;
    kst_geometry_clear_errors();
    size_t n = static_cast<size_t>(o.VERTICES);
    size_t vec = n * sizeof(KST_VECTOR), rgb = n * sizeof(KST_RGB), uv = n * sizeof(KST_TEXTCOORD);
    size_t total = vec + (o.VERTEXNORMAL ? vec : 0) + (o.CVERTEX ? rgb : 0) + (o.TEXCOORD ? uv : 0);
    size_t faces = o.FACE && o.FACES > 0 ? static_cast<size_t>(o.FACES) * sizeof(KST_FACE) : 0;
    size_t strip = o.STRIP && o.STRIPLENGTH > 0 ? static_cast<size_t>(o.STRIPLENGTH) * sizeof(uint16_t) : 0;
    glGenBuffers(1, &g.array);
    glBindBuffer(GL_ARRAY_BUFFER, g.array);
    GLenum usage = kst_skin_deforms(o) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW;
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(total), nullptr, usage);
    size_t at = 0;
    kst_geometry_put(GL_ARRAY_BUFFER, at, o.VERTEX, vec);
    g.normal_at = kst_geometry_put(GL_ARRAY_BUFFER, at, o.VERTEXNORMAL, vec);
    g.colour_at = kst_geometry_put(GL_ARRAY_BUFFER, at, o.CVERTEX, rgb);
    g.texcoord_at = kst_geometry_put(GL_ARRAY_BUFFER, at, o.TEXCOORD, uv);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glGenBuffers(1, &g.index);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, g.index);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(faces + strip + 4), nullptr, GL_STATIC_DRAW);
    at = 0;
    kst_geometry_put(GL_ELEMENT_ARRAY_BUFFER, at, o.FACE, faces);
    g.strip_at = kst_geometry_put(GL_ELEMENT_ARRAY_BUFFER, at, o.STRIP, strip);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    g.usable = glGetError() == GL_NO_ERROR;
}

static kst_gpu_scene* kst_geometry_scene(const KST_SCENE& scene)
{
    KST_SCENE& s = const_cast<KST_SCENE&>(scene);   // the cache is not part of the scene's meaning
    if (s.kst_gpu && s.kst_gpu->count != s.OBJECTS)
        kst_render_release_geometry(s);
    if (!s.kst_gpu) {
        s.kst_gpu = new kst_gpu_scene;
        s.kst_gpu->count = s.OBJECTS;
        s.kst_gpu->obj = new kst_gpu_object[static_cast<size_t>(s.OBJECTS)];
    }
    return s.kst_gpu;
}

// --- public functions ---------------------------------------------------------
const kst_gpu_object* kst_geometry_for(const KST_SCENE& scene, int32_t index)
{
    if (kst_geometry_disabled() || !scene.OBJ || index < 0 || index >= scene.OBJECTS)
        return nullptr;
    static bool checked = false, supported = false;
    if (!checked) {
        supported = kst_gl_version_at_least(1, 5);
        checked = true;
    }
    if (!supported)
        return nullptr;
    kst_gpu_object& g = kst_geometry_scene(scene)->obj[index];
    const KST_OBJECT& o = scene.OBJ[index];
    if (!kst_geometry_current(g, o) || (g.usable && !glIsBuffer(g.array)))
        kst_geometry_upload(g, o);
    return g.usable ? &g : nullptr;
}

const void* kst_geometry_at(const kst_gpu_object* g, size_t offset, const void* client)
{
    return g ? reinterpret_cast<const void*>(offset) : client;
}

void kst_geometry_bind(const kst_gpu_object* g)
{
    if (!g)
        return;
    glBindBuffer(GL_ARRAY_BUFFER, g->array);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, g->index);
}

void kst_geometry_unbind(const kst_gpu_object* g)
{
    if (!g)
        return;
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void kst_render_release_geometry(KST_SCENE& scene)
{
    if (!scene.kst_gpu)
        return;
    for (int32_t i = 0; i < scene.kst_gpu->count; ++i)
        kst_geometry_delete(scene.kst_gpu->obj[i]);
    delete[] scene.kst_gpu->obj;
    delete scene.kst_gpu;
    scene.kst_gpu = nullptr;
}

void kst_render_pose(const KST_SCENE& scene, int32_t index, float frame)
{
    if (!scene.OBJ || index < 0 || index >= scene.OBJECTS)
        return;
    KST_SCENE& s = const_cast<KST_SCENE&>(scene);   // the pose is drawing state, like the buffers
    KST_OBJECT& o = s.OBJ[index];
    if (!kst_skin_pose(o, frame))
        return;
    kst_object_bounds_update(s, index);
    if (!s.kst_gpu || index >= s.kst_gpu->count)
        return;
    kst_gpu_object& g = s.kst_gpu->obj[index];
    if (!g.usable || !kst_geometry_current(g, o) || !glIsBuffer(g.array))
        return;   // the next kst_geometry_for uploads the posed arrays whole
    size_t vec = static_cast<size_t>(o.VERTICES) * sizeof(KST_VECTOR);
    glBindBuffer(GL_ARRAY_BUFFER, g.array);
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(vec), o.VERTEX);
    if (o.VERTEXNORMAL)
        glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(g.normal_at), static_cast<GLsizeiptr>(vec),
                        o.VERTEXNORMAL);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void kst_render_geometry_changed(KST_SCENE& scene)
{
    kst_render_release_geometry(scene);
    kst_scene_bounds(scene);
}
