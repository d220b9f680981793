// IFE_LOAD with real texture files: acquisition through the texture manager
// (type 1, shared by reference count, clamped edges), release by IFE_FREE, a
// missing texture, and a loaded interface drawn upright from its .raw image.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include "engine/textures/texture_manager.h"
#include "gl_fixture.h"
#include "ife/ife.h"
#include "process.h"
#include "support/error.h"
#include "texture_files.h"

namespace {

class IfeLoad : public gl_test {
protected:
    void SetUp() override
    {
        gl_test::SetUp();
        TX_INIT();
        dir = test_temp_dir("ife-load");
    }
    const txNode* node_of(uint32_t glref)
    {
        for (const txNode& n : TX_TABLE)
            if (!n.empty && static_cast<uint32_t>(n.glref) == glref)
                return &n;
        return nullptr;
    }
    std::string dir;
};

const char* const TWO_LAYERS =
    "2\n0\n"
    "top.jpg\na\nb\n1\n0\n0 512 384 0 0 1024 768 255 255 255 255\n"
    "top.jpg\nc\nd\n1\n2\n0 100 100 0 0 10 10 255 255 255 255\n";

}  // namespace

TEST_F(IfeLoad, LayersShareTexturesWithClampedEdgesAndFreeReleasesThem)
{
    // Top half red, bottom half blue: the first row of the file is the top of the layer.
    std::string pixels = tex_solid({0, 0, 255, 255}, false);
    for (size_t i = 0; i < pixels.size() / 2; i += 3)
        pixels[i] = static_cast<char>(255), pixels[i + 2] = 0;
    texture_file_write(dir + "/top.jpg", pixels);
    write_file(dir + "/two.ife", TWO_LAYERS);

    ife_interface r{};
    IFE_LOAD(r, dir + "/two.ife", dir);
    ASSERT_EQ(r.layercount, 2);
    uint32_t tex = r.layers[0].texture;
    ASSERT_NE(tex, 0u);
    EXPECT_EQ(r.layers[1].texture, tex);
    const txNode* node = node_of(tex);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->reqs, 2);
    EXPECT_EQ(node->type, 1);
    GLint wrap_s = 0, wrap_t = 0;
    glBindTexture(GL_TEXTURE_2D, tex);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap_s);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap_t);
    EXPECT_EQ(wrap_s, GL_CLAMP);
    EXPECT_EQ(wrap_t, GL_CLAMP);

    IFE_DRAW(r, 0);
    gl_rgba top = gl_read_pixel(320, 400), bottom = gl_read_pixel(320, 80);
    EXPECT_GT(top.r, 250);
    EXPECT_LT(top.b, 5);
    EXPECT_GT(bottom.b, 250);
    EXPECT_LT(bottom.r, 5);

    IFE_FREE(r);
    EXPECT_EQ(r.layercount, 0);
    EXPECT_EQ(node_of(tex), nullptr);  // both references given back
}

TEST_F(IfeLoad, MissingTextureIsFatalAndLeavesNothingAcquired)
{
    texture_file_write(dir + "/first.jpg", tex_solid({9, 9, 9, 255}, false));
    write_file(dir + "/x.ife", "2\n0\nfirst.jpg\na\nb\n0\n0\nmissing.jpg\na\nb\n0\n0\n");
    ife_interface r{};
    EXPECT_THROW(IFE_LOAD(r, dir + "/x.ife", dir), fatal_error);
    EXPECT_EQ(r.layercount, 0);
    for (const txNode& n : TX_TABLE)
        EXPECT_TRUE(n.empty) << n.name;  // the first layer's texture was released again
}
