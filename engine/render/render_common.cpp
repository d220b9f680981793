// engine/render/render_common.cpp - shared renderer pieces (see render_common.h).
#include "engine/render/render_common.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/render/passes.h"
#include "engine/scene/spline.h"

float KST_PIXEL_SCALE = 1.0f;

float kst_pixels(float size_at_480)
{
    return size_at_480 * KST_PIXEL_SCALE;
}

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

void kst_push_position(const KST_SCENE& scene, int32_t index, float frame)
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    if (scene.OBJ[index].POSKEYS != 0) {
        KST_VECTOR track{};
        SPLINE_LINEAR_POS(track, scene, index, frame);
        glTranslatef(track.X, track.Y, track.Z);
    }
}

void kst_push_track(const KST_SCENE& scene, int32_t index, float frame)
{
    kst_push_position(scene, index, frame);
    double linear[3][3];
    if (!kst_spline_motion(linear, scene, index, frame))
        return;   // the scene asks for nothing this object has: no further call
    const KST_VECTOR& pivot = scene.OBJ[index].POS;
    glTranslatef(pivot.X, pivot.Y, pivot.Z);
    kst_multiply_motion(scene, index, frame);
    glTranslatef(-pivot.X, -pivot.Y, -pivot.Z);
}

int kst_multiply_motion(const KST_SCENE& scene, int32_t index, float frame)
{
    double linear[3][3];
    if (!kst_spline_motion(linear, scene, index, frame))
        return 0;
    GLdouble m[16] = {};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            m[c * 4 + r] = linear[r][c];   // GL's matrices are column-major
    m[15] = 1.0;
    glMultMatrixd(m);
    const KST_OBJECT& o = scene.OBJ[index];
    return (scene.MOTION & KST_MOTION_SCALE) && o.SCALEKEYS > 0 && o.SCALE ? 2 : 1;
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

// Scales, biases and maps applied to every pixel on its way in or out.
static void kst_pixel_transfer_identity()
{
    for (GLenum scale : {GL_RED_SCALE, GL_GREEN_SCALE, GL_BLUE_SCALE, GL_ALPHA_SCALE, GL_DEPTH_SCALE})
        glPixelTransferf(scale, 1.0f);
    for (GLenum bias : {GL_RED_BIAS, GL_GREEN_BIAS, GL_BLUE_BIAS, GL_ALPHA_BIAS, GL_DEPTH_BIAS})
        glPixelTransferf(bias, 0.0f);
    glPixelTransferi(GL_INDEX_SHIFT, 0);
    glPixelTransferi(GL_INDEX_OFFSET, 0);
    glPixelTransferi(GL_MAP_COLOR, GL_FALSE);
    glPixelTransferi(GL_MAP_STENCIL, GL_FALSE);
}

bool kst_gl_version_at_least(int major, int minor)
{
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (!version)
        return false;
    int have_major = std::atoi(version);
    const char* dot = std::strchr(version, '.');
    int have_minor = dot ? std::atoi(dot + 1) : 0;
    return have_major > major || (have_major == major && have_minor >= minor);
}

bool kst_gl_has_extension(const char* name)
{
    const char* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    size_t n = std::strlen(name);
    for (const char* at = list; at && (at = std::strstr(at, name)) != nullptr; at += n)
        if ((at == list || at[-1] == ' ') && (at[n] == ' ' || at[n] == '\0'))
            return true;
    return false;
}

// A pixel buffer a caller left bound turns the pointer of a read-back or an
// upload into an offset in that buffer; unbinding it makes the pointer a
// pointer again. Pixel buffers exist from OpenGL 2.1 or with the ARB extension.
static void kst_pixel_buffer_unbind(GLenum target, GLenum binding)
{
    if (!kst_gl_version_at_least(2, 1) && !kst_gl_has_extension("GL_ARB_pixel_buffer_object"))
        return;
    GLint bound = 0;
    glGetIntegerv(binding, &bound);
    if (bound != 0)
        glBindBuffer(target, 0);
}

// One direction's store parameters, pack or unpack, set for tight rows.
static void kst_pixel_store_tight(GLenum alignment, GLenum row_length, GLenum image_height,
                                  GLenum skip_rows, GLenum skip_pixels, GLenum skip_images,
                                  GLenum swap_bytes, GLenum lsb_first)
{
    glPixelStorei(alignment, 1);
    glPixelStorei(row_length, 0);
    glPixelStorei(image_height, 0);
    glPixelStorei(skip_rows, 0);
    glPixelStorei(skip_pixels, 0);
    glPixelStorei(skip_images, 0);
    glPixelStorei(swap_bytes, GL_FALSE);
    glPixelStorei(lsb_first, GL_FALSE);
}

void kst_pixel_pack_tight()
{
    kst_pixel_buffer_unbind(GL_PIXEL_PACK_BUFFER, GL_PIXEL_PACK_BUFFER_BINDING);
    kst_pixel_store_tight(GL_PACK_ALIGNMENT, GL_PACK_ROW_LENGTH, GL_PACK_IMAGE_HEIGHT,
                          GL_PACK_SKIP_ROWS, GL_PACK_SKIP_PIXELS, GL_PACK_SKIP_IMAGES,
                          GL_PACK_SWAP_BYTES, GL_PACK_LSB_FIRST);
    kst_pixel_transfer_identity();
}

void kst_pixel_unpack_tight()
{
    kst_pixel_buffer_unbind(GL_PIXEL_UNPACK_BUFFER, GL_PIXEL_UNPACK_BUFFER_BINDING);
    kst_pixel_store_tight(GL_UNPACK_ALIGNMENT, GL_UNPACK_ROW_LENGTH, GL_UNPACK_IMAGE_HEIGHT,
                          GL_UNPACK_SKIP_ROWS, GL_UNPACK_SKIP_PIXELS, GL_UNPACK_SKIP_IMAGES,
                          GL_UNPACK_SWAP_BYTES, GL_UNPACK_LSB_FIRST);
    kst_pixel_transfer_identity();
}
