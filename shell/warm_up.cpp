// shell/warm_up.cpp - meeting the driver's shader compiles before the first frame.
//
// A software GL driver such as Mesa's llvmpipe compiles machine code for each
// new combination of GL state the first time a draw uses it. The first frame
// of a segment, or the first frame a layer set or the particles appear in,
// then costs several times its neighbours: a second and more while the
// driver's shader cache is cold. So after loading, shell_warm_up draws one
// frame every WARM_UP_STEP_MS of the show (and the first frame of every
// segment) with the scissor test on and an empty scissor box: every state
// combination of the show is met and compiled, and no pixel changes (the
// clears obey the scissor box too).
//
// Everything those frames change is put back, so that the show that follows
// draws exactly the bytes it draws without the warm-up: the GL state (both
// attribute stacks, the three matrices, and the anisotropy and wrap modes the
// object draws give material textures), the random generator, every scene's
// particle pool and object records (flare visibility and colours, the spun
// rotations, the poses of skinned objects), the camera of the last scene
// render and the frame counters.
// What stays is what a later frame would have made anyway: compiled shaders,
// and the geometry's buffer objects. A quit request is not looked at here.
#include "shell/warm_up.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "engine/render/draw.h"
#include "engine/render/passes.h"
#include "engine/scene/skin.h"
#include "shell/shell.h"
#include "shell/timeline.h"
#include "support/random.h"

// --- internal types -------------------------------------------------------------
constexpr uint32_t WARM_UP_STEP_MS = 1000;

static_assert(std::is_trivially_copyable_v<KST_OBJECT> && std::is_trivially_copyable_v<KST_PARTICLE>);

struct warm_up_texture {
    GLuint  name;
    GLfloat anisotropy;
    GLint   wrap_s, wrap_t;
};

struct warm_up_scene {
    std::vector<KST_OBJECT>   objects;
    std::vector<KST_PARTICLE> particles;
};

struct warm_up_saved {
    GLfloat                      matrix[3][16];   // model-view, projection, texture
    std::vector<warm_up_texture> textures;
    warm_up_scene                scenes[SCORE_MAX_SCENES];
    random_saved                 random;
    int32_t                      segment_frames[SCORE_MAX_SEGMENTS + 1];
    int32_t                      bench_score;
    kst_render_stats             stats;
    KST_VECTOR                   camera_pos, camera_target;
};

static const GLenum WARM_UP_MATRIX_MODES[3] = {GL_MODELVIEW, GL_PROJECTION, GL_TEXTURE};
static const GLenum WARM_UP_MATRIX_READS[3] = {GL_MODELVIEW_MATRIX, GL_PROJECTION_MATRIX, GL_TEXTURE_MATRIX};

// --- internal helpers -------------------------------------------------------------
static bool warm_up_disabled()
{
    const char* v = std::getenv("QIV_NO_WARM_UP");
    return v && *v && std::strcmp(v, "0") != 0;
}

// The textures of every scene material the object draws set parameters on.
static void warm_up_save_textures(warm_up_saved& s)
{
    for (const KST_SCENE& scene : SHELL_SCENES)
        for (int32_t m = 0; scene.MATERIAL && m < scene.MATERIALS; ++m) {
            const KST_MATERIAL& mat = scene.MATERIAL[m];
            if (!mat.TEXTURED || mat.TEXTURE <= 0)
                continue;
            warm_up_texture t{static_cast<GLuint>(mat.TEXTURE), 1.0f, GL_REPEAT, GL_REPEAT};
            glBindTexture(GL_TEXTURE_2D, t.name);
            glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &t.anisotropy);
            glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &t.wrap_s);
            glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &t.wrap_t);
            s.textures.push_back(t);
        }
}

static void warm_up_restore_textures(const warm_up_saved& s)
{
    for (const warm_up_texture& t : s.textures) {
        glBindTexture(GL_TEXTURE_2D, t.name);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, t.anisotropy);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, t.wrap_s);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, t.wrap_t);
    }
}

// Skinned and morphed objects are put back to their rest shape on both sides
// of the warm-up: a saved record then holds no posed arrays of its own, and
// the first frame of the show poses them afresh.
static void warm_up_rest_poses(KST_SCENE& scene)
{
    for (int32_t o = 0; scene.OBJ && o < scene.OBJECTS; ++o)
        kst_skin_rest(scene.OBJ[o]);
}

static void warm_up_save_scenes(warm_up_saved& s)
{
    for (int i = 0; i < SCORE_MAX_SCENES; ++i) {
        warm_up_rest_poses(SHELL_SCENES[i]);
        const KST_SCENE& scene = SHELL_SCENES[i];
        if (scene.OBJ && scene.OBJECTS > 0)
            s.scenes[i].objects.assign(scene.OBJ, scene.OBJ + scene.OBJECTS);
        if (scene.PARTICLE && scene.PARTICLES > 0)
            s.scenes[i].particles.assign(scene.PARTICLE, scene.PARTICLE + scene.PARTICLES);
    }
}

static void warm_up_restore_scenes(const warm_up_saved& s)
{
    for (int i = 0; i < SCORE_MAX_SCENES; ++i) {
        KST_SCENE& scene = SHELL_SCENES[i];
        const warm_up_scene& saved = s.scenes[i];
        warm_up_rest_poses(scene);
        if (scene.OBJ && saved.objects.size() == static_cast<size_t>(scene.OBJECTS))
            std::memcpy(static_cast<void*>(scene.OBJ), saved.objects.data(), saved.objects.size() * sizeof(KST_OBJECT));
        if (scene.PARTICLE && saved.particles.size() == static_cast<size_t>(scene.PARTICLES))
            std::memcpy(static_cast<void*>(scene.PARTICLE), saved.particles.data(),
                        saved.particles.size() * sizeof(KST_PARTICLE));
    }
}

static void warm_up_save(warm_up_saved& s)
{
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    for (int i = 0; i < 3; ++i)
        glGetFloatv(WARM_UP_MATRIX_READS[i], s.matrix[i]);
    warm_up_save_textures(s);
    warm_up_save_scenes(s);
    s.random = random_save();
    std::memcpy(s.segment_frames, SEGMENT_FRAMES, sizeof s.segment_frames);
    s.bench_score = BENCH_SCORE;
    s.stats = KST_RENDER_STATS;
    s.camera_pos = KST_CAMERAPOS;
    s.camera_target = KST_CAMERATARGET;
}

static void warm_up_restore(const warm_up_saved& s)
{
    KST_CAMERAPOS = s.camera_pos;
    KST_CAMERATARGET = s.camera_target;
    KST_RENDER_STATS = s.stats;
    BENCH_SCORE = s.bench_score;
    std::memcpy(SEGMENT_FRAMES, s.segment_frames, sizeof s.segment_frames);
    random_restore(s.random);
    warm_up_restore_scenes(s);
    warm_up_restore_textures(s);
    for (int i = 0; i < 3; ++i) {
        glMatrixMode(WARM_UP_MATRIX_MODES[i]);
        glLoadMatrixf(s.matrix[i]);
    }
    glPopClientAttrib();
    glPopAttrib();   // the matrix mode, bindings and switches as they were
}

// The first frame of every segment, and one frame every WARM_UP_STEP_MS.
static std::vector<uint32_t> warm_up_times()
{
    std::vector<uint32_t> times;
    for (const score_segment& seg : SHOW.segments)
        times.push_back(seg.includes_start ? seg.start : seg.start + 1);
    for (uint32_t t = WARM_UP_STEP_MS / 2; t < SHOW.length; t += WARM_UP_STEP_MS)
        times.push_back(t);
    return times;
}

// --- public functions -------------------------------------------------------------
void shell_warm_up()
{
    if (warm_up_disabled())
        return;
    auto began = std::chrono::steady_clock::now();
    auto saved = std::make_unique<warm_up_saved>();
    warm_up_save(*saved);
    glEnable(GL_SCISSOR_TEST);   // nothing the frames draw touches the scissor state
    glScissor(0, 0, 0, 0);
    const std::vector<uint32_t> times = warm_up_times();
    for (uint32_t t : times)
        timeline_draw_at(t);
    glFinish();   // the compiles happen here, not in the first frame
    warm_up_restore(*saved);
    if (SHELL_OPTIONS.verbose)
        std::fprintf(stderr, "qiv: drew %zu invisible frames for the driver's shader compiles in %.0f ms\n",
                     times.size(),
                     std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count());
}
