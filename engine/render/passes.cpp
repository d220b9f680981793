// engine/render/passes.cpp - scene render passes, camera and object visibility.
//
// KST_RENDER_SCENE turns a prepared scene into one frame: a 4:3 perspective
// (fixed, whatever the window), the camera from the scene's camera splines with
// Z up, eight positional GL lights given after the look-at so that their
// positions are world coordinates, then the visible objects pass by pass
// (PASSNO 0 to MAXPASS) in object order, each with the blending, depth and alpha
// test its material asks for, drawn by KST_DRAW_OBJECT (draw.cpp). There is no
// sorting by distance: content orders its objects and passes itself.
//
// Material values outside the state tables leave that piece of GL state as the
// previous object left it (DEPTHMODE is the exception: GL_LESS is set first).
// Every operation sets the state it relies on and leaves its state behind for
// the next caller; no attribute stack is used.
//
// The variants share the same steps: the selection render draws a white
// wireframe of selected objects first and sets no depth function per object;
// the shadowed render gives the lights under the caller's model-view matrix and
// draws with KST_DRAW_OBJECT_SHADOWED. KST_CAMERA_SETUP puts the whole camera in
// the projection matrix for custom drawing; KST_RENDER_MIRRORED draws a scene
// reflected through a scale, then the mirror object added over it, then the
// scene itself.
//
// The plain and shadowed renders cull objects against the camera's view volume
// (draw.h); the selection render, the mirrored render and the camera set-ups
// draw every object as before.
//
// KST_CAMERAPOS and KST_CAMERATARGET keep the camera of the last scene render;
// object drawing (distance culling), particles and flares read them.
#include "engine/render/passes.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "engine/render/draw.h"
#include "engine/render/render_common.h"
#include "engine/scene/spline.h"
#include "support/error.h"

// --- module state -------------------------------------------------------------
KST_VECTOR KST_CAMERAPOS{0.0f, 0.0f, 0.0f};
KST_VECTOR KST_CAMERATARGET{0.0f, 0.0f, 0.0f};

static const char* const kst_camera_message_render =
    "KESTREL: Scene not renderable without camera animation target and position track";
static const char* const kst_camera_message_setup =
    "Kestrel: Scene not renderable without camera animation target and position track";

constexpr double kst_aspect = 4.0 / 3.0;
constexpr double kst_pi = 3.14159265358979323846;

enum class kst_pass_kind { plain, selection, shadowed };

// --- internal helpers ---------------------------------------------------------
static void kst_camera_check(const KST_SCENE& scene, const char* message)
{
    if (scene.CAMPOSKEYS == 0 || scene.CAMTARGETKEYS == 0)
        ERROR_REPORT(message);
}

static void kst_perspective(const KST_SCENE& scene)
{
    gluPerspective(static_cast<double>(scene.CAMFOV) * 180.0 / kst_pi, kst_aspect, scene.CAMNEAR,
                   scene.CAMFAR);
}

static void kst_look_at(const KST_VECTOR& eye, const KST_VECTOR& target)
{
    gluLookAt(eye.X, eye.Y, eye.Z, target.X, target.Y, target.Z, 0.0, 0.0, 1.0);
}

static void kst_lights(const KST_SCENE& scene, float frame)
{
    for (int32_t i = 0; i < KST_LIGHTS; ++i) {
        const KST_LIGHT& l = scene.LIGHT[i];
        GLenum light = GL_LIGHT0 + static_cast<GLenum>(i);
        if (!l.ENABLED) {
            glDisable(light);
            continue;
        }
        glEnable(light);
        const GLfloat ambient[4] = {l.AMBIENT.R, l.AMBIENT.G, l.AMBIENT.B, 1.0f};
        const GLfloat diffuse[4] = {l.DIFFUSE.R, l.DIFFUSE.G, l.DIFFUSE.B, 1.0f};
        const GLfloat specular[4] = {l.SPECULAR.R, l.SPECULAR.G, l.SPECULAR.B, 1.0f};
        glLightfv(light, GL_AMBIENT, ambient);
        glLightfv(light, GL_DIFFUSE, diffuse);
        glLightfv(light, GL_SPECULAR, specular);
        glLightf(light, GL_SPOT_CUTOFF, 180.0f);
        KST_VECTOR p = l.POS;
        if (l.POSKEYS > 0)
            SPLINE_LIGHT_POS(p, scene, i, frame);
        const GLfloat position[4] = {p.X, p.Y, p.Z, 1.0f};
        glLightfv(light, GL_POSITION, position);
    }
}

static void kst_material_depth_test(uint8_t depthtest)
{
    if (depthtest > 3)
        return;
    glDepthMask(depthtest == 0 || depthtest == 2 ? GL_TRUE : GL_FALSE);
    if (depthtest <= 1)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
}

static void kst_material_depth_mode(uint8_t depthmode)
{
    static const GLenum functions[5] = {GL_LESS, GL_LEQUAL, GL_EQUAL, GL_GREATER, GL_GEQUAL};
    glDepthFunc(GL_LESS);
    if (depthmode < 5)
        glDepthFunc(functions[depthmode]);
}

static void kst_material_alpha_test(float alphatest)
{
    if (alphatest == 0.0f) {
        glDisable(GL_ALPHA_TEST);
        return;
    }
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, alphatest);
}

// The lowest pass number above `pass` that some object uses, or MAXPASS + 1.
// Passes no object uses draw nothing, so skipping them changes no pixel; it
// keeps a file or configuration with a huge PASSNO from stalling the frame.
static int64_t kst_next_pass(const KST_SCENE& scene, int64_t pass)
{
    int64_t next = static_cast<int64_t>(scene.MAXPASS) + 1;
    for (int32_t k = 0; scene.OBJ && k < scene.OBJECTS; ++k) {
        int64_t p = scene.OBJ[k].PASSNO;
        if (p > pass && p < next)
            next = p;
    }
    return next;
}

static void kst_passes(KST_SCENE& scene, float frame, kst_pass_kind kind)
{
    for (int64_t pass = 0; pass <= scene.MAXPASS; pass = kst_next_pass(scene, pass)) {
        for (int32_t k = 0; scene.OBJ && k < scene.OBJECTS; ++k) {
            const KST_OBJECT& o = scene.OBJ[k];
            if (!o.VISIBLE || o.PASSNO != pass)
                continue;
            const KST_MATERIAL* m = kst_object_material(scene, o);
            if (!m)
                continue;
            kst_material_alpha_test(m->ALPHATEST);
            kst_apply_blend(m->BLEND);
            kst_material_depth_test(m->DEPTHTEST);
            if (kind != kst_pass_kind::selection)
                kst_material_depth_mode(m->DEPTHMODE);
            if (kind == kst_pass_kind::shadowed)
                KST_DRAW_OBJECT_SHADOWED(scene, k, frame);
            else
                KST_DRAW_OBJECT(scene, k, frame);
        }
    }
}

// Camera check, projection and the camera vectors of the scene render.
static void kst_camera_projection(const KST_SCENE& scene, float frame)
{
    kst_camera_check(scene, kst_camera_message_render);
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    kst_perspective(scene);
    SPLINE_CAMVECTORS(KST_CAMERAPOS, KST_CAMERATARGET, scene, frame);
}

// The look-at of the scene render's camera on a fresh model-view matrix.
static void kst_camera_view()
{
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    kst_look_at(KST_CAMERAPOS, KST_CAMERATARGET);
}

// The three scene renders: camera, lights, base state, passes.
static void kst_render(KST_SCENE& scene, float frame, kst_pass_kind kind)
{
    kst_camera_projection(scene, frame);
    if (kind == kst_pass_kind::shadowed)
        kst_lights(scene, frame);   // under the caller's model-view matrix
    kst_camera_view();
    if (kind != kst_pass_kind::shadowed)
        kst_lights(scene, frame);
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
    glDisable(GL_LIGHTING);
    glColor3f(1.0f, 1.0f, 1.0f);
    if (kind != kst_pass_kind::plain)
        for (int32_t k = 0; scene.OBJ && k < scene.OBJECTS; ++k)
            if (scene.OBJ[k].SELECTED)
                KST_DRAW_WIREFRAME(scene, k, frame, 1.0f);
    if (kind != kst_pass_kind::selection)
        kst_render_cull_begin();
    kst_passes(scene, frame, kind);
    kst_render_cull_end();
    glDisable(GL_ALPHA_TEST);
    glDepthMask(GL_TRUE);
}

static void kst_camera_setup_with(const KST_SCENE& scene, const KST_VECTOR& eye, const KST_VECTOR& target)
{
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    kst_perspective(scene);
    glScalef(0.00001f, 0.00001f, 0.00001f);
    kst_look_at(eye, target);
}

static void kst_set_visible(KST_SCENE& scene, const std::string& name, bool visible)
{
    const std::string key = name.substr(0, 255);
    for (int32_t k = 0; scene.OBJ && k < scene.OBJECTS; ++k)
        if (kst_name_equals(scene.OBJ[k].NAME, key))
            scene.OBJ[k].VISIBLE = visible;
}

// --- public functions ---------------------------------------------------------
void kst_scene_camera(const KST_SCENE& scene, float frame)
{
    kst_camera_projection(scene, frame);
    kst_camera_view();
}

void KST_RENDER_SCENE(KST_SCENE& scene, float frame)
{
    kst_render(scene, frame, kst_pass_kind::plain);
}

void KST_RENDER_SCENE_SELECTION(KST_SCENE& scene, float frame)
{
    kst_render(scene, frame, kst_pass_kind::selection);
}

void KST_RENDER_SCENE_SHADOWED(KST_SCENE& scene, float frame)
{
    kst_render(scene, frame, kst_pass_kind::shadowed);
}

void KST_DRAW_WIREFRAME(const KST_SCENE& scene, int32_t index, float frame, float grey)
{
    glLineWidth(kst_pixels(2.0f));
    glDepthFunc(GL_LESS);
    if (index < 0 || index > scene.OBJECTS - 1 || !scene.OBJ)
        return;
    const KST_OBJECT& o = scene.OBJ[index];
    kst_render_pose(scene, index, frame);
    kst_push_track(scene, index, frame);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glColor4f(grey, grey, grey, 1.0f);
    if (o.FACE && o.VERTEX && !kst_render_skip_draws) {
        glBegin(GL_LINES);
        for (int32_t f = 0; f < o.FACES; ++f) {
            const KST_FACE& face = o.FACE[f];
            const int32_t corners[4] = {face.A, face.B, face.C, face.A};
            for (int e = 0; e < 3; ++e) {
                glVertex3fv(&o.VERTEX[corners[e]].X);
                glVertex3fv(&o.VERTEX[corners[e + 1]].X);
            }
        }
        glEnd();
    }
    glPopMatrix();
}

void KST_CAMERA_SETUP(const KST_SCENE& scene, float frame)
{
    kst_camera_check(scene, kst_camera_message_setup);
    KST_VECTOR eye{}, target{};
    SPLINE_CAMVECTORS(eye, target, scene, frame);
    kst_camera_setup_with(scene, eye, target);
}

void KST_CAMERA_SETUP_AT(const KST_SCENE& scene, const KST_VECTOR& eye, const KST_VECTOR& target)
{
    kst_camera_check(scene, kst_camera_message_setup);
    kst_camera_setup_with(scene, eye, target);
}

void KST_RENDER_MIRRORED(KST_SCENE& scene, int32_t mirror, float frame, float sx, float sy, float sz)
{
    kst_camera_check(scene, kst_camera_message_setup);
    KST_CAMERA_SETUP(scene, frame);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glMatrixMode(GL_PROJECTION);
    glScalef(sx, sy, sz);
    glMatrixMode(GL_MODELVIEW);
    for (int32_t k = 0; k < scene.OBJECTS; ++k)
        if (k != mirror)
            KST_DRAW_OBJECT(scene, k, frame);
    glMatrixMode(GL_PROJECTION);
    glScalef(1.0f, 1.0f, -1.0f);
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    KST_DRAW_OBJECT(scene, mirror, 0.0f);
    glDisable(GL_BLEND);
    for (int32_t k = 0; k < scene.OBJECTS; ++k)
        if (k != mirror)
            KST_DRAW_OBJECT(scene, k, frame);
}

void KST_SHOW_OBJECT(KST_SCENE& scene, const std::string& name)
{
    kst_set_visible(scene, name, true);
}

void KST_HIDE_OBJECT(KST_SCENE& scene, const std::string& name)
{
    kst_set_visible(scene, name, false);
}

int32_t KST_FIND_OBJECT(const KST_SCENE& scene, const std::string& name)
{
    const std::string key = name.substr(0, 255);
    int32_t found = 65535;
    for (int32_t k = 0; scene.OBJ && k < scene.OBJECTS; ++k)
        if (kst_name_equals(scene.OBJ[k].NAME, key))
            found = k;
    return found;
}

void KST_CLEAR_SCREEN()
{
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClear(GL_STENCIL_BUFFER_BIT);
}
