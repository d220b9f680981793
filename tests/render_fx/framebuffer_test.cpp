// tests/render_fx/framebuffer_test.cpp - the framebuffer texture: creation and grabs.
#include <gtest/gtest.h>
#include <algorithm>
#include <vector>

#include "engine/render/framebuffer.h"
#include "engine/scene/prepare.h"
#include "engine/scene/textures.h"
#include "engine/textures/texture_manager.h"
#include "gl_fixture.h"
#include "scene_builders.h"

namespace {

std::vector<uint8_t> fx_texture_image(GLuint name, int edge)
{
    std::vector<uint8_t> px(static_cast<size_t>(edge) * edge * 4);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    return px;
}

GLint fx_texture_width(GLuint name)
{
    GLint w = -1;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    return w;
}

// Fills the window with R = x mod 256, G = y mod 256, B = 200 beyond the 256 x 256 corner.
void fx_fill_window()
{
    std::vector<uint8_t> px(640 * 480 * 4);
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            uint8_t* p = &px[(static_cast<size_t>(y) * 640 + x) * 4];
            p[0] = static_cast<uint8_t>(x & 255);
            p[1] = static_cast<uint8_t>(y & 255);
            p[2] = x >= 256 || y >= 256 ? 200 : 0;
            p[3] = 255;
        }
    glRasterPos2f(-1, -1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glDrawPixels(640, 480, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
}

}  // namespace

// One test, in order: the texture does not exist until the first init.
TEST_F(gl_test, framebuffer_texture_grabs_the_lower_left_corner_once_created)
{
    // Before init: a grab copies nothing and leaves other textures alone.
    ASSERT_EQ(KST_FRAMEBUFFERSIZE, 0);
    ASSERT_EQ(KST_FRAMEBUFFERTEXTURE, 0u);
    GLuint other = 0;
    glGenTextures(1, &other);
    glBindTexture(GL_TEXTURE_2D, other);
    const uint8_t four[16 * 4] = {9, 9, 9, 9};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, four);
    fx_fill_window();
    KST_FRAMEBUFFER_GRAB();
    EXPECT_EQ(gl_get_int(GL_TEXTURE_BINDING_2D), 0);
    EXPECT_EQ(fx_texture_width(0), 0);
    EXPECT_EQ(fx_texture_width(other), 4);
    EXPECT_EQ(fx_texture_image(other, 4)[0], 9);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // Init: a 256 x 256 linear texture, black, bound, handed to TX_FRAMEBUFFER.
    KST_FRAMEBUFFER_INIT();
    EXPECT_EQ(KST_FRAMEBUFFERSIZE, 256);
    ASSERT_NE(KST_FRAMEBUFFERTEXTURE, 0u);
    EXPECT_EQ(TX_FRAMEBUFFER, KST_FRAMEBUFFERTEXTURE);
    EXPECT_TRUE(gl_enabled(GL_TEXTURE_2D));
    EXPECT_EQ(static_cast<GLuint>(gl_get_int(GL_TEXTURE_BINDING_2D)), KST_FRAMEBUFFERTEXTURE);
    GLint minf = 0, magf = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minf);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magf);
    EXPECT_EQ(minf, GL_LINEAR);
    EXPECT_EQ(magf, GL_LINEAR);
    EXPECT_EQ(fx_texture_width(KST_FRAMEBUFFERTEXTURE), 256);
    EXPECT_EQ(fx_texture_image(KST_FRAMEBUFFERTEXTURE, 256)[1000], 0);

    // Grab: texel (x, y) is window pixel (x, y), not a scaled picture.
    KST_FRAMEBUFFER_GRAB();
    EXPECT_TRUE(gl_enabled(GL_TEXTURE_2D));
    EXPECT_EQ(static_cast<GLuint>(gl_get_int(GL_TEXTURE_BINDING_2D)), KST_FRAMEBUFFERTEXTURE);
    std::vector<uint8_t> tex = fx_texture_image(KST_FRAMEBUFFERTEXTURE, 256);
    int wrong = 0;
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            const uint8_t* p = &tex[(static_cast<size_t>(y) * 256 + x) * 4];
            wrong += p[0] != x || p[1] != y || p[2] != 0 || p[3] != 255;
        }
    EXPECT_EQ(wrong, 0);

    // A "$framebuffer$.jpg" material bound now shows the grabbed picture; giving
    // the scene's textures back leaves the framebuffer texture alone.
    KST_SCENE scene{};
    sb_scene_init(scene);
    int32_t m = sb_add_material(scene, "screen");
    scene.MATERIAL[m].TEXTURED = true;
    kst_name_set(scene.MATERIAL[m].TEXTNAME, "$framebuffer$.jpg");
    KST_SCENE_TEXTURES(scene, "/nonexistent");
    EXPECT_EQ(static_cast<GLuint>(scene.MATERIAL[m].TEXTURE), KST_FRAMEBUFFERTEXTURE);
    KST_SCENE_FREETEXTURES(scene);
    EXPECT_TRUE(glIsTexture(KST_FRAMEBUFFERTEXTURE));
    KST_SCENE_FREE(scene);

    // A second init makes a further texture, and the handle follows it.
    GLuint first = KST_FRAMEBUFFERTEXTURE;
    KST_FRAMEBUFFER_INIT();
    EXPECT_NE(KST_FRAMEBUFFERTEXTURE, first);
    EXPECT_EQ(TX_FRAMEBUFFER, KST_FRAMEBUFFERTEXTURE);
    EXPECT_EQ(fx_texture_width(first), 256);
    glDeleteTextures(1, &other);
}

// Init reads exactly its cleared 256 x 256 x 4 buffer and a grab copies the
// picture unscaled, whatever pixel store and transfer the caller left.
TEST_F(gl_test, framebuffer_texture_ignores_the_pixel_store_the_caller_left)
{
    gl_pixel_store_scramble();
    KST_FRAMEBUFFER_INIT();
    for (GLenum zero : {GL_UNPACK_ROW_LENGTH, GL_UNPACK_SKIP_ROWS, GL_UNPACK_SKIP_PIXELS,
                        GL_UNPACK_IMAGE_HEIGHT, GL_UNPACK_SKIP_IMAGES, GL_UNPACK_SWAP_BYTES,
                        GL_UNPACK_LSB_FIRST})
        EXPECT_EQ(gl_get_int(zero), 0) << zero;
    EXPECT_EQ(gl_get_int(GL_UNPACK_ALIGNMENT), 1);
    gl_pixel_store_defaults();
    std::vector<uint8_t> tex = fx_texture_image(KST_FRAMEBUFFERTEXTURE, 256);
    EXPECT_EQ(std::count(tex.begin(), tex.end(), 0), static_cast<long>(tex.size()));

    glDisable(GL_TEXTURE_2D);  // the pixels drawn are not textured
    fx_fill_window();
    gl_pixel_store_scramble();
    KST_FRAMEBUFFER_GRAB();
    gl_pixel_store_defaults();
    tex = fx_texture_image(KST_FRAMEBUFFERTEXTURE, 256);
    int wrong = 0;
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            const uint8_t* p = &tex[(static_cast<size_t>(y) * 256 + x) * 4];
            wrong += p[0] != x || p[1] != y || p[2] != 0 || p[3] != 255;
        }
    EXPECT_EQ(wrong, 0);
}
