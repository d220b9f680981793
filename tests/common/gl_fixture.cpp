// tests/common/gl_fixture.cpp - the shared off-screen GL context (see gl_fixture.h).
#include "gl_fixture.h"

#include <GL/glu.h>
#include <set>
#include <string>
#include <vector>

#include "platform/glcontext.h"

static gl_context gl_fixture_ctx;
static bool       gl_fixture_open = false;

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

gl_rgba gl_read_pixel(int x, int y)
{
    gl_rgba p{};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &p);
    return p;
}

std::array<float, 4> gl_read_pixel_f(int x, int y)
{
    std::array<float, 4> p{};
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
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 640, 480, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    std::set<uint32_t> colours;
    for (size_t i = 0; i < px.size(); i += 4)
        colours.insert(px[i] | px[i + 1] << 8 | px[i + 2] << 16);
    return static_cast<int>(colours.size());
}

int gl_read_stencil(int x, int y)
{
    GLubyte s = 0;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &s);
    return s;
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
    glClearColor(0, 0, 0, 0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}
