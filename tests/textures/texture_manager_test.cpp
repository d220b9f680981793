// Tests of the texture manager on a real GL context: sharing by name and filter
// type, reference counts, release and reuse of nodes, the upload itself, the
// dump text and the fatal errors.
#include <GL/gl.h>
#include <unistd.h>

#include <filesystem>

#include "engine/textures/texture_manager.h"
#include "gl_fixture.h"
#include "process.h"
#include "support/error.h"
#include "texture_files.h"

namespace {

class TextureManager : public gl_test {
protected:
    void SetUp() override
    {
        gl_test::SetUp();
        TX_FREEALL();
        dir = test_temp_dir("textures");
    }
    void TearDown() override { TX_FREEALL(); }

    // Writes an RGB (or RGBA) file for request dir/<name> and returns the request.
    std::string texture(const std::string& name, bool alpha = false, tex_rgba c = {10, 20, 30, 40})
    {
        return texture_file_write(dir + "/" + name, tex_solid(c, alpha));
    }

    std::string dir;
};

int tx_node_of(uint32_t glref)
{
    for (int i = 0; i < TX_NODES; ++i)
        if (!TX_TABLE[i].empty && static_cast<uint32_t>(TX_TABLE[i].glref) == glref)
            return i;
    return -1;
}

GLint tx_param(uint32_t glref, GLenum what)
{
    glBindTexture(GL_TEXTURE_2D, glref);
    GLint v = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, what, &v);
    return v;
}

GLint tx_level_width(uint32_t glref, int level)
{
    glBindTexture(GL_TEXTURE_2D, glref);
    GLint w = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
    return w;
}

}  // namespace

TEST_F(TextureManager, SharesByNameAndTypeAndCountsReferences)
{
    std::string a = texture("a.jpg");
    std::string upper = texture("A.jpg");
    std::string rgba = texture("glow.tga", true);

    uint32_t first = TX_LOAD(a, 3);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(gl_get_int(GL_TEXTURE_BINDING_2D), static_cast<GLint>(first));  // a new texture stays bound
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(TX_LOAD(a, 3), first);
    EXPECT_EQ(gl_get_int(GL_TEXTURE_BINDING_2D), 0);  // a hit binds nothing
    int node = tx_node_of(first);
    ASSERT_EQ(node, 0);
    EXPECT_EQ(TX_TABLE[node].reqs, 2);
    EXPECT_EQ(TX_TABLE[node].name, a);
    EXPECT_EQ(TX_TABLE[node].type, 3);
    EXPECT_TRUE(TX_TABLE[node].uploaded);

    uint32_t linear = TX_LOAD(a, 1);  // same file, another filter type: a second texture
    EXPECT_NE(linear, first);
    EXPECT_EQ(tx_node_of(linear), 1);
    EXPECT_EQ(TX_TABLE[1].reqs, 1);
    EXPECT_EQ(TX_TABLE[0].reqs, 2);

    uint32_t other_case = TX_LOAD(upper, 3);  // names are case-sensitive
    EXPECT_NE(other_case, first);

    EXPECT_EQ(TX_BPP(first), 24);
    uint32_t alpha = TX_LOAD(rgba, 0);
    EXPECT_EQ(TX_BPP(alpha), 32);
    EXPECT_EQ(TX_BPP(987654u), 0);  // no live node holds it
    EXPECT_EQ(TX_BPP(0u), 0);
}

TEST_F(TextureManager, FilterTypesAndUploadedPixels)
{
    std::string bytes = tex_gradient({0, 0, 0, 0}, {255, 128, 64, 255}, true, true);
    std::string name = texture_file_write(dir + "/grad.png", bytes);
    const GLint mag[4] = {GL_NEAREST, GL_LINEAR, GL_NEAREST, GL_LINEAR};
    const GLint min[4] = {GL_NEAREST, GL_LINEAR, GL_NEAREST_MIPMAP_NEAREST, GL_LINEAR_MIPMAP_LINEAR};
    for (int type = 0; type < 4; ++type) {
        uint32_t t = TX_LOAD(name, type);
        EXPECT_EQ(tx_param(t, GL_TEXTURE_MAG_FILTER), mag[type]) << type;
        EXPECT_EQ(tx_param(t, GL_TEXTURE_MIN_FILTER), min[type]) << type;
        EXPECT_EQ(tx_param(t, GL_TEXTURE_WRAP_S), GL_REPEAT) << type;  // wrap left at the default
        EXPECT_EQ(tx_level_width(t, 0), 256) << type;
        EXPECT_EQ(tx_level_width(t, 8), type >= 2 ? 1 : 0) << type;  // the whole mipmap chain
        // The image as GL holds it: the file's first row is the row at t = 0.
        std::string back(bytes.size(), '\0');
        glBindTexture(GL_TEXTURE_2D, t);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, back.data());
        EXPECT_TRUE(back == bytes) << type;
    }
    // A type outside 0..3: a valid texture name without filters or image.
    uint32_t odd = TX_LOAD(name, 7);
    EXPECT_TRUE(glIsTexture(odd));
    EXPECT_EQ(tx_level_width(odd, 0), 0);
    EXPECT_EQ(tx_param(odd, GL_TEXTURE_MIN_FILTER), GL_NEAREST_MIPMAP_LINEAR);  // GL's default
    EXPECT_EQ(TX_BPP(odd), 32);
}

// Uploads read exactly the file's 256 rows whatever pixel store the caller left
// (a row length or skips would read past the buffer and shift the picture), for
// the single level and the mipmap chain alike.
TEST_F(TextureManager, UploadIgnoresThePixelStoreTheCallerLeft)
{
    for (bool alpha : {false, true}) {
        std::string bytes = tex_gradient({0, 0, 0, 0}, {255, 128, 64, 255}, true, alpha);
        std::string name = texture_file_write(dir + "/g" + std::to_string(alpha) + ".png", bytes);
        for (int type : {1, 3}) {
            gl_pixel_store_scramble();
            uint32_t t = TX_LOAD(name, type);
            gl_pixel_store_defaults();
            std::string back(bytes.size(), '\0');
            glBindTexture(GL_TEXTURE_2D, t);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glGetTexImage(GL_TEXTURE_2D, 0, alpha ? GL_RGBA : GL_RGB, GL_UNSIGNED_BYTE, back.data());
            EXPECT_TRUE(back == bytes) << alpha << " " << type;
        }
    }
}

TEST_F(TextureManager, ReleaseDeletesAtZeroAndFreesTheNodeForReuse)
{
    std::string a = texture("a.jpg"), b = texture("b.jpg"), c = texture("c.jpg");
    uint32_t ta = TX_LOAD(a, 3);
    TX_LOAD(a, 3);
    uint32_t tb = TX_LOAD(b, 3);
    ASSERT_EQ(tx_node_of(tb), 1);

    TX_RELEASE(ta);  // one of two acquisitions
    EXPECT_TRUE(glIsTexture(ta));
    EXPECT_EQ(TX_TABLE[0].reqs, 1);
    TX_RELEASE(ta);
    EXPECT_FALSE(glIsTexture(ta));
    EXPECT_TRUE(TX_TABLE[0].empty);
    EXPECT_FALSE(TX_TABLE[0].uploaded);
    EXPECT_EQ(TX_TABLE[0].name, a);  // a free node keeps its name and GL name
    EXPECT_EQ(static_cast<uint32_t>(TX_TABLE[0].glref), ta);
    EXPECT_EQ(TX_BPP(ta), 0);
    TX_RELEASE(ta);  // no longer held: ignored
    TX_RELEASE(0);
    EXPECT_TRUE(glIsTexture(tb));
    EXPECT_EQ(TX_TABLE[1].reqs, 1);

    uint32_t tc = TX_LOAD(c, 3);  // the first free node is taken again
    EXPECT_EQ(tx_node_of(tc), 0);
    EXPECT_EQ(TX_TABLE[0].name, c);
    uint32_t ta2 = TX_LOAD(a, 3);  // a fresh texture for the released name
    EXPECT_EQ(tx_node_of(ta2), 2);
    EXPECT_EQ(TX_TABLE[2].reqs, 1);

    TX_FREEALL();
    EXPECT_FALSE(glIsTexture(tb));
    EXPECT_FALSE(glIsTexture(tc));
    for (const txNode& n : TX_TABLE) {
        EXPECT_TRUE(n.empty);
        EXPECT_EQ(n.name, "empty");
        EXPECT_EQ(n.glref, 0);
        EXPECT_EQ(n.type, 3);
        EXPECT_EQ(n.reqs, 0);
    }
    EXPECT_EQ(TX_TABLE[0].bpp, 24);  // a reset leaves bpp alone
}

TEST_F(TextureManager, DumpWritesBannerAndOneLinePerNodeInUse)
{
    std::string fresh = dir + "/fresh.txt";
    TX_DUMP(fresh);
    EXPECT_EQ(read_file(fresh), "Lumenfold texture management system\n \n");

    std::string a = texture("stone.jpg"), b = texture("glow.jpg", true);
    uint32_t ta = TX_LOAD(a, 3);
    TX_LOAD(a, 3);
    uint32_t tb = TX_LOAD(b, 0);
    std::string out = dir + "/table.txt";
    TX_DUMP(out);
    EXPECT_EQ(read_file(out), "Lumenfold texture management system\n \n" + a + " OpenGL ref.:" +
                                  std::to_string(ta) + " uploaded:TRUE type:3 reqs.:2\n" + b +
                                  " OpenGL ref.:" + std::to_string(tb) + " uploaded:TRUE type:0 reqs.:1\n");

    TX_RELEASE(ta);
    TX_RELEASE(ta);  // freed nodes are left out
    TX_DUMP(out);
    EXPECT_EQ(read_file(out), "Lumenfold texture management system\n \n" + b + " OpenGL ref.:" +
                                  std::to_string(tb) + " uploaded:TRUE type:0 reqs.:1\n");

    EXPECT_NO_THROW(TX_DUMP(dir + "/no/such/folder/table.txt"));  // cannot be created: ignored
    EXPECT_FALSE(std::filesystem::exists(dir + "/no"));
    EXPECT_NO_THROW(TX_DUMP(dir));  // a folder of that name: nothing written either

    // A file name of 250 characters in the working folder is written too.
    std::string here = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    std::string longname(250, 'd');
    TX_DUMP(longname);
    std::filesystem::current_path(here);
    EXPECT_EQ(read_file(dir + "/" + longname), "Lumenfold texture management system\n \n" + b +
                                  " OpenGL ref.:" + std::to_string(tb) + " uploaded:TRUE type:0 reqs.:1\n");
}

TEST_F(TextureManager, BadFilesAndAFullTableAreFatalAndClaimNoNode)
{
    try {
        TX_LOAD(dir + "/missing.jpg", 3);
        ADD_FAILURE() << "a missing file must be fatal";
    } catch (const fatal_error& e) {
        EXPECT_NE(std::string(e.what()).find(dir + "/missing.raw"), std::string::npos) << e.what();
    }
    write_file(dir + "/short.raw", std::string(1000, 'x'));
    try {
        TX_LOAD(dir + "/short.jpg", 3);
        ADD_FAILURE() << "a wrongly sized file must be fatal";
    } catch (const fatal_error& e) {
        std::string m = e.what();
        EXPECT_NE(m.find(dir + "/short.jpg"), std::string::npos) << m;
        EXPECT_NE(m.find("1000 bytes"), std::string::npos) << m;
    }
    for (const txNode& n : TX_TABLE)
        ASSERT_TRUE(n.empty);  // nothing was claimed by the failures

    // 1001 nodes: the same file under 1001 filter types outside 0..3 (no upload).
    std::string a = texture("a.jpg");
    for (int i = 0; i < TX_NODES; ++i)
        ASSERT_NE(TX_LOAD(a, 100 + i), 0u);
    try {
        TX_LOAD(a, 99);
        ADD_FAILURE() << "a full table must be fatal";
    } catch (const fatal_error& e) {
        std::string m = e.what();
        EXPECT_NE(m.find(a), std::string::npos) << m;
        EXPECT_NE(m.find("full (1001"), std::string::npos) << m;
    }
    EXPECT_NE(TX_LOAD(a, 100), 0u);  // hits still work on a full table
}

TEST_F(TextureManager, FileNameReplacesTheLastThreeCharacters)
{
    texture_file_write(dir + "/pic.raw", tex_solid({1, 2, 3, 4}, false));
    EXPECT_NE(TX_LOAD(dir + "/pic.jpg", 0), 0u);
    EXPECT_NE(TX_LOAD(dir + "/pic.tga", 0), 0u);
    EXPECT_NE(TX_LOAD(dir + "/pic.raw", 0), 0u);
    // Names shorter than three characters read the file "raw" in the working folder.
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    write_file("raw", tex_solid({1, 2, 3, 4}, true));
    uint32_t t = 0;
    EXPECT_NO_THROW(t = TX_LOAD("ab", 1));
    EXPECT_EQ(TX_BPP(t), 32);
    ASSERT_EQ(chdir(old), 0);
}

TEST_F(TextureManager, ReloadUploadsAnEditedFileIntoEveryTextureOfItsName)
{
    std::string name = texture("wood.jpg", false, {10, 20, 30, 0});
    uint32_t plain = TX_LOAD(name, 0);
    uint32_t mipped = TX_LOAD(name, 3);
    EXPECT_EQ(tx_reload(dir + "/other.jpg"), 0);  // nothing loaded under that name: no file read
    texture_file_write(name, tex_solid({200, 100, 50, 60}, true));
    EXPECT_EQ(tx_reload(name), 2);
    for (uint32_t t : {plain, mipped}) {
        EXPECT_EQ(TX_BPP(t), 32);  // the new file has alpha
        glBindTexture(GL_TEXTURE_2D, t);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        std::string image(256 * 256 * 4, '\0');
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.data());
        EXPECT_EQ(static_cast<uint8_t>(image[0]), 200) << t;
        EXPECT_EQ(static_cast<uint8_t>(image[3]), 60) << t;
    }
    EXPECT_EQ(tx_level_width(mipped, 8), 1);  // the mipmap chain made again
    EXPECT_EQ(TX_TABLE[tx_node_of(plain)].reqs, 1);  // users unchanged

    write_file(tx_file_for(name), "half a file");
    EXPECT_THROW(tx_reload(name), fatal_error);
    EXPECT_EQ(TX_BPP(plain), 32);  // the last good image stays
    EXPECT_EQ(tx_file_for(dir + "/a.png"), dir + "/a.raw");
}
