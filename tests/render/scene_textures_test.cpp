// Tests of binding a scene's textures through the texture manager: which
// materials and emitters get textures, with which filter type, sharing and
// counting, "$framebuffer$.jpg", and giving everything back.
#include <GL/gl.h>

#include "engine/scene/textures.h"
#include "engine/textures/texture_manager.h"
#include "gl_fixture.h"
#include "process.h"
#include "render_scene.h"
#include "support/error.h"
#include "texture_files.h"

namespace {

class SceneTextures : public gl_test {
protected:
    void SetUp() override
    {
        gl_test::SetUp();
        TX_FREEALL();
        dir = test_temp_dir("scenetex");
        texture_file_write(dir + "/stone.jpg", tex_solid({1, 2, 3, 0}, false));
        texture_file_write(dir + "/glass.png", tex_solid({1, 2, 3, 4}, true));
        texture_file_write(dir + "/env.jpg", tex_solid({9, 9, 9, 0}, false));
        texture_file_write(dir + "/spark.jpg", tex_solid({9, 9, 9, 0}, false));
        texture_file_write(dir + "/$FRAMEBUFFER$.jpg", tex_solid({9, 9, 9, 0}, false));
    }
    void TearDown() override { TX_FREEALL(); }

    const txNode* node(const std::string& name, int32_t type)
    {
        for (const txNode& n : TX_TABLE)
            if (!n.empty && n.name == dir + "/" + name && n.type == type)
                return &n;
        return nullptr;
    }
    int32_t reqs(const std::string& name, int32_t type)
    {
        const txNode* n = node(name, type);
        return n ? n->reqs : 0;
    }
    int live()
    {
        int count = 0;
        for (const txNode& n : TX_TABLE)
            count += n.empty ? 0 : 1;
        return count;
    }

    std::string dir;
};

void textured(KST_MATERIAL& m, const std::string& name, int32_t magtype)
{
    m.TEXTURED = true;
    kst_name_set(m.TEXTNAME, name);
    m.MAGTYPE = magtype;
}

}  // namespace

TEST_F(SceneTextures, BindsMaterialsEnvironmentMapsAndEmitters)
{
    render_scene rs;
    int near = rs.add_material(1, 1, 1);
    textured(rs.mat(near), "stone.jpg", 0);
    int lin = rs.add_material(1, 1, 1);
    textured(rs.mat(lin), "stone.jpg", 3);
    rs.mat(lin).ENVMAP = true;
    kst_name_set(rs.mat(lin).ENVTEXTNAME, "env.jpg");
    int alpha = rs.add_material(1, 1, 1);
    textured(rs.mat(alpha), "glass.png", 1);
    int bare = rs.add_material(1, 1, 1);
    rs.mat(bare).TEXTURE = 77;
    rs.mat(bare).ENVTEXTURE = 88;
    kst_name_set(rs.mat(bare).TEXTNAME, "missing.jpg");  // not textured: never read
    int envonly = rs.add_material(1, 1, 1);
    rs.mat(envonly).ENVMAP = true;
    kst_name_set(rs.mat(envonly).ENVTEXTNAME, "stone.jpg");
    rs.mat(envonly).MAGTYPE = 0;  // environment maps are always type 3
    int fb = rs.add_material(1, 1, 1);
    textured(rs.mat(fb), "$framebuffer$.jpg", 3);
    rs.mat(fb).TEXTURE = 55;
    int fbcase = rs.add_material(1, 1, 1);
    textured(rs.mat(fbcase), "$FRAMEBUFFER$.jpg", 3);  // differs in case: an ordinary file

    int emits = rs.add_empty({0, 0, 0});
    rs.obj(emits).PARTICLE.ENABLED = true;
    kst_name_set(rs.obj(emits).PARTICLE.TEXTURENAME, "spark.jpg");
    int untextured = rs.add_empty({0, 0, 0});
    rs.obj(untextured).PARTICLE.ENABLED = true;
    rs.obj(untextured).PARTICLE.TEXTURE = 66;
    int silent = rs.add_empty({0, 0, 0});
    kst_name_set(rs.obj(silent).PARTICLE.TEXTURENAME, "missing.jpg");  // not emitting

    KST_SCENE_TEXTURES(rs.s, dir);

    EXPECT_NE(rs.mat(near).TEXTURE, rs.mat(lin).TEXTURE);  // same file, other filter type
    EXPECT_EQ(rs.mat(near).TEXTURETYPE, 24);
    EXPECT_EQ(rs.mat(alpha).TEXTURETYPE, 32);
    EXPECT_EQ(reqs("stone.jpg", 0), 1);
    EXPECT_EQ(reqs("stone.jpg", 3), 2);  // material lin's texture and envonly's map share
    EXPECT_EQ(rs.mat(envonly).ENVTEXTURE, rs.mat(lin).TEXTURE);
    EXPECT_EQ(rs.mat(envonly).TEXTURETYPE, 24);
    EXPECT_NE(node("env.jpg", 3), nullptr);
    EXPECT_EQ(rs.mat(lin).ENVTEXTURE, node("env.jpg", 3)->glref);
    EXPECT_EQ(rs.mat(bare).TEXTURE, 77);
    EXPECT_EQ(rs.mat(bare).ENVTEXTURE, 88);
    EXPECT_EQ(rs.mat(fb).TEXTURE, 0);  // TX_FRAMEBUFFER: 0 until KST_FRAMEBUFFER_INIT runs
    EXPECT_EQ(rs.mat(fb).TEXTURETYPE, 24);
    EXPECT_NE(rs.mat(fbcase).TEXTURE, 0);
    EXPECT_EQ(rs.obj(emits).PARTICLE.TEXTURE, node("spark.jpg", 3)->glref);
    EXPECT_EQ(rs.obj(untextured).PARTICLE.TEXTURE, 66);
    EXPECT_EQ(rs.obj(silent).PARTICLE.TEXTURE, 0);
    EXPECT_TRUE(glIsTexture(static_cast<GLuint>(rs.mat(alpha).TEXTURE)));

    // Twice bound, twice released before the textures go.
    KST_SCENE_TEXTURES(rs.s, dir);
    EXPECT_EQ(reqs("stone.jpg", 3), 4);
    EXPECT_EQ(reqs("spark.jpg", 3), 2);
    int before = live();
    KST_SCENE_FREETEXTURES(rs.s);
    EXPECT_EQ(live(), before);
    EXPECT_EQ(reqs("stone.jpg", 3), 2);
    GLuint glass = static_cast<GLuint>(rs.mat(alpha).TEXTURE);
    KST_SCENE_FREETEXTURES(rs.s);
    EXPECT_EQ(live(), 0);
    EXPECT_FALSE(glIsTexture(glass));
    EXPECT_EQ(static_cast<GLuint>(rs.mat(alpha).TEXTURE), glass);  // fields keep their values
}

TEST_F(SceneTextures, JoinedNamesAreCutAndMissingFilesAreFatal)
{
    render_scene rs;
    int m = rs.add_material(1, 1, 1);
    textured(rs.mat(m), "stone.jpg", 2);
    KST_SCENE_TEXTURES(rs.s, dir);
    EXPECT_NE(node("stone.jpg", 2), nullptr);  // directory + "/" + name
    KST_SCENE_FREETEXTURES(rs.s);

    int missing = rs.add_material(1, 1, 1);
    textured(rs.mat(missing), "nothere.jpg", 3);
    EXPECT_THROW(KST_SCENE_TEXTURES(rs.s, dir), fatal_error);
    EXPECT_EQ(node("stone.jpg", 2), nullptr);  // the failed binding gave back what it had acquired
    EXPECT_EQ(rs.mat(m).TEXTURE, 0);           // and left nothing to release twice
    KST_SCENE_FREETEXTURES(rs.s);

    rs.mat(missing).TEXTURED = false;
    std::string long_dir(300, 'd');
    try {
        textured(rs.mat(m), "x.jpg", 0);
        KST_SCENE_TEXTURES(rs.s, long_dir);
        ADD_FAILURE();
    } catch (const fatal_error& e) {
        // The joined name is cut to 255 characters before the file name is derived.
        EXPECT_NE(std::string(e.what()).find(std::string(252, 'd') + "raw"), std::string::npos);
    }
    KST_SCENE empty{};
    KST_SCENE_TEXTURES(empty, dir);  // nothing to bind
    KST_SCENE_FREETEXTURES(empty);
}
