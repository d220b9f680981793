// tests/common/gl_fixture.cpp - the shared off-screen GL context (see gl_fixture.h).
#define GL_GLEXT_PROTOTYPES 1  // buffer objects, before any GL header
#include "gl_fixture.h"

#include <GL/glext.h>

#include <GL/glu.h>
#include <set>
#include <string>
#include <vector>

#include "platform/glcontext.h"

static gl_context gl_fixture_ctx;
static bool       gl_fixture_open = false;

// Closes the shared context when the test program's tests are done, before it
// exits: the driver then joins its rasterizer threads and frees the screen
// while the process is still whole, instead of those threads still running
// when the exit handlers (LeakSanitizer's leak check among them) walk every
// thread of a process being torn down.
class gl_fixture_environment : public ::testing::Environment {
public:
    void TearDown() override
    {
        gl_context_close(gl_fixture_ctx);
        gl_fixture_open = false;
    }
};
static ::testing::Environment* const gl_fixture_env =
    ::testing::AddGlobalTestEnvironment(new gl_fixture_environment);

void gl_test_context_require()
{
    if (gl_fixture_open)
        return;
    gl_context_options options;
    options.offscreen = true;
    options.visible = false;
    std::string error;
    ASSERT_TRUE(gl_context_open(gl_fixture_ctx, options, error)) << error;
    gl_fixture_open = true;
}

// The fixture's own reads: no pixel pack buffer, alignment 1.
static void gl_fixture_pack_for_reads()
{
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
}

gl_rgba gl_read_pixel(int x, int y)
{
    gl_rgba p{};
    gl_fixture_pack_for_reads();
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &p);
    return p;
}

std::array<float, 4> gl_read_pixel_f(int x, int y)
{
    std::array<float, 4> p{};
    gl_fixture_pack_for_reads();
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_FLOAT, p.data());
    return p;
}

GLint gl_get_int(GLenum what)
{
    GLint v[16] = {};
    glGetIntegerv(what, v);
    return v[0];
}

float gl_get_float(GLenum what)
{
    GLfloat v[16] = {};
    glGetFloatv(what, v);
    return v[0];
}

bool gl_enabled(GLenum what)
{
    return glIsEnabled(what) == GL_TRUE;
}

int gl_distinct_colours()
{
    std::vector<uint8_t> px(640 * 480 * 4);
    gl_fixture_pack_for_reads();
    glReadPixels(0, 0, 640, 480, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    std::set<uint32_t> colours;
    for (size_t i = 0; i < px.size(); i += 4)
        colours.insert(px[i] | px[i + 1] << 8 | px[i + 2] << 16);
    return static_cast<int>(colours.size());
}

int gl_read_stencil(int x, int y)
{
    GLubyte s = 0;
    gl_fixture_pack_for_reads();
    glReadPixels(x, y, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &s);
    return s;
}

static void gl_pixel_store_set(GLint alignment, GLint row_length, GLint skip, GLint flag,
                               GLfloat red_scale)
{
    const GLenum store[2][8] = {
        {GL_PACK_ALIGNMENT, GL_PACK_ROW_LENGTH, GL_PACK_IMAGE_HEIGHT, GL_PACK_SKIP_ROWS,
         GL_PACK_SKIP_PIXELS, GL_PACK_SKIP_IMAGES, GL_PACK_SWAP_BYTES, GL_PACK_LSB_FIRST},
        {GL_UNPACK_ALIGNMENT, GL_UNPACK_ROW_LENGTH, GL_UNPACK_IMAGE_HEIGHT, GL_UNPACK_SKIP_ROWS,
         GL_UNPACK_SKIP_PIXELS, GL_UNPACK_SKIP_IMAGES, GL_UNPACK_SWAP_BYTES, GL_UNPACK_LSB_FIRST}};
    for (const auto& p : store) {
        glPixelStorei(p[0], alignment);
        glPixelStorei(p[1], row_length);
        glPixelStorei(p[2], row_length ? 5 : 0);
        glPixelStorei(p[3], skip);
        glPixelStorei(p[4], skip ? skip + 1 : 0);
        glPixelStorei(p[5], skip ? skip + 2 : 0);
        glPixelStorei(p[6], flag);
        glPixelStorei(p[7], flag);
    }
    glPixelTransferf(GL_RED_SCALE, red_scale);
}

// A pixel pack and a pixel unpack buffer of a library caller, left bound by
// the scramble: reads and uploads would then go to and come from them.
static void gl_pixel_buffers_bind(bool bound)
{
    static GLuint names[2] = {0, 0};
    if (bound && !glIsBuffer(names[0])) {
        glGenBuffers(2, names);
        std::vector<uint8_t> junk(1 << 20, 0x5A);
        for (int i = 0; i < 2; ++i) {
            GLenum target = i == 0 ? GL_PIXEL_PACK_BUFFER : GL_PIXEL_UNPACK_BUFFER;
            glBindBuffer(target, names[i]);
            glBufferData(target, static_cast<GLsizeiptr>(junk.size()), junk.data(), GL_STREAM_COPY);
        }
    }
    glBindBuffer(GL_PIXEL_PACK_BUFFER, bound ? names[0] : 0);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, bound ? names[1] : 0);
}

void gl_pixel_store_scramble()
{
    gl_pixel_store_set(8, 7, 1, GL_TRUE, 0.5f);
    gl_pixel_buffers_bind(true);
}

void gl_pixel_store_defaults()
{
    gl_pixel_store_set(4, 0, 0, GL_FALSE, 1.0f);
    gl_pixel_buffers_bind(false);
}

void gl_test::SetUp()
{
    gl_test_context_require();
    // A clean slate: identity matrices, default state that tests commonly touch.
    for (GLenum mode : {GL_TEXTURE, GL_PROJECTION, GL_MODELVIEW}) {
        glMatrixMode(mode);
        glLoadIdentity();
    }
    for (GLenum cap : {GL_BLEND, GL_DEPTH_TEST, GL_ALPHA_TEST, GL_CULL_FACE, GL_LIGHTING,
                       GL_TEXTURE_2D, GL_FOG, GL_STENCIL_TEST, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T})
        glDisable(cap);
    glDepthMask(GL_TRUE);
    glDepthFunc(GL_LESS);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glBlendFunc(GL_ONE, GL_ZERO);
    glColor4f(1, 1, 1, 1);
    glViewport(0, 0, 640, 480);
    gl_pixel_store_defaults();
    glClearColor(0, 0, 0, 0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}
