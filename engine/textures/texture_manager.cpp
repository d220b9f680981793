// engine/textures/texture_manager.cpp - the shared table of GL textures.
//
// Every user of a texture (materials, environment maps, particle emitters,
// interface layers) asks TX_LOAD for it by name and filter type and gets the GL
// texture name back; users asking for the same name with the same type share
// one GL texture, counted in its node's reqs, and TX_RELEASE deletes it when the
// last user gives it back. The table is a fixed array of 1001 nodes scanned
// linearly: textures are requested while loading, never per frame, so a scan is
// cheap and keeps the table trivially inspectable (TX_DUMP prints it).
//
// Images are headerless 256 x 256 .raw files next to the requested name (the
// name's last three characters replaced by "raw": data/stone.jpg reads
// data/stone.raw); the file size alone tells RGB (196608 bytes) from RGBA
// (262144 bytes). The first row of the file is the row at t = 0.
//
// tx_reload reads an edited image file again and uploads it into the textures
// already loaded under its name, so a viewer can show the new image without
// its users asking again (they would only get the cached texture back).
//
// Failures: a file that cannot be read, a file of any other size and a full
// table are fatal errors naming the texture. The file is read and checked before
// a node is claimed, so a failed load leaves the table exactly as it was.
#include "engine/textures/texture_manager.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "engine/render/render_common.h"
#include "support/atomic_file.h"
#include "support/error.h"

// --- module state -------------------------------------------------------------
txNode   TX_TABLE[TX_NODES];   // zero-filled at start, reset by tx_startup below
uint32_t TX_FRAMEBUFFER = 0;   // handle of "$framebuffer$.jpg" materials; set by KST_FRAMEBUFFER_INIT

constexpr long tx_size_rgb  = 256L * 256L * 3L;   // 196608
constexpr long tx_size_rgba = 256L * 256L * 4L;   // 262144

// --- internal helpers ---------------------------------------------------------
static void tx_node_reset(txNode& node)
{
    node.name = "empty";
    node.glref = 0;
    node.uploaded = false;
    node.empty = true;
    node.type = 3;
    node.reqs = 0;   // bpp is left as it is
}

// The table is reset once at program initialisation, before any caller runs.
static const bool tx_startup = [] {
    TX_INIT();
    return true;
}();

static bool tx_node_live(const txNode& node)
{
    return !node.empty && node.uploaded;
}

// The .raw file read for a requested image name.
static std::string tx_file_name(const std::string& name)
{
    if (name.size() < 3)
        return "raw";
    return name.substr(0, name.size() - 3) + "raw";
}

static int32_t tx_pixels_bpp(const std::vector<unsigned char>& pixels)
{
    return pixels.size() == static_cast<size_t>(tx_size_rgba) ? 32 : 24;
}

// Reads the whole image file of a texture; fatal unless it is a 256 x 256 RGB
// or RGBA image.
static std::vector<unsigned char> tx_read_file(const std::string& name, const std::string& file)
{
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (!f)
        fatal_raise(file + ": cannot open texture file for texture " + name);
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        size = std::ftell(f);
    if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
        std::fclose(f);
        fatal_raise(file + ": cannot read texture file for texture " + name);
    }
    if (size != tx_size_rgb && size != tx_size_rgba) {
        std::fclose(f);
        fatal_raise(file + ": texture " + name + " has a file of " + std::to_string(size) +
                    " bytes; a 256 x 256 texture has 196608 (RGB) or 262144 (RGBA) bytes");
    }
    std::vector<unsigned char> pixels(static_cast<size_t>(size));
    size_t got = std::fread(pixels.data(), 1, pixels.size(), f);
    std::fclose(f);
    if (got != pixels.size())
        fatal_raise(file + ": cannot read texture file for texture " + name);
    return pixels;
}

// First free node, or -1 when all 1001 are in use.
static int tx_free_node()
{
    for (int i = 0; i < TX_NODES; ++i)
        if (TX_TABLE[i].empty)
            return i;
    return -1;
}

// Filters and upload of the four filter types.
struct tx_filter {
    GLint mag;      // GL_TEXTURE_MAG_FILTER
    GLint min;      // GL_TEXTURE_MIN_FILTER
    bool  mipmaps;  // the whole chain through gluBuild2DMipmaps, else level 0 only
};

static const tx_filter tx_filters[4] = {
    {GL_NEAREST, GL_NEAREST, false},
    {GL_LINEAR, GL_LINEAR, false},
    {GL_NEAREST, GL_NEAREST_MIPMAP_NEAREST, true},
    {GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR, true},
};

// Filters and image of the bound texture by filter type; other types get neither.
static void tx_upload(int32_t type, int32_t bpp, const std::vector<unsigned char>& pixels)
{
    if (type < 0 || type > 3)
        return;
    const tx_filter& f = tx_filters[type];
    GLenum format = bpp == 32 ? GL_RGBA : GL_RGB;
    GLint  components = bpp / 8;
    kst_pixel_unpack_tight();  // exactly the file's 256 rows, whatever the caller left set
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, f.mag);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, f.min);
    if (f.mipmaps)
        gluBuild2DMipmaps(GL_TEXTURE_2D, components, 256, 256, format, GL_UNSIGNED_BYTE,
                          pixels.data());
    else
        glTexImage2D(GL_TEXTURE_2D, 0, components, 256, 256, 0, format, GL_UNSIGNED_BYTE,
                     pixels.data());
}

// --- public functions ---------------------------------------------------------
void TX_INIT()
{
    for (txNode& node : TX_TABLE)
        tx_node_reset(node);
}

uint32_t TX_LOAD(const std::string& requested, int32_t type)
{
    (void)tx_startup;
    const std::string name = requested.substr(0, 255);
    uint32_t found = 0;
    for (txNode& node : TX_TABLE) {   // the whole table, no early exit
        if (node.name == name && node.type == type && tx_node_live(node)) {
            found = static_cast<uint32_t>(node.glref);
            node.reqs += 1;
        }
    }
    if (found != 0)
        return found;

    std::vector<unsigned char> pixels = tx_read_file(name, tx_file_name(name));
    int index = tx_free_node();
    if (index < 0)
        fatal_raise(name + ": cannot load texture, the texture table is full (" +
                    std::to_string(TX_NODES) + " textures in use)");
    txNode& node = TX_TABLE[index];
    node.name = name;
    node.empty = false;
    node.type = type;
    node.reqs = 1;

    GLuint glref = 0;
    glGenTextures(1, &glref);
    node.glref = static_cast<int32_t>(glref);
    glBindTexture(GL_TEXTURE_2D, glref);
    node.bpp = tx_pixels_bpp(pixels);
    tx_upload(type, node.bpp, pixels);
    node.uploaded = true;
    return glref;
}

int32_t TX_BPP(uint32_t glref)
{
    for (const txNode& node : TX_TABLE)
        if (tx_node_live(node) && static_cast<uint32_t>(node.glref) == glref)
            return node.bpp;
    return 0;
}

void TX_RELEASE(uint32_t glref)
{
    for (txNode& node : TX_TABLE) {
        if (!tx_node_live(node) || static_cast<uint32_t>(node.glref) != glref)
            continue;
        node.reqs -= 1;
        if (node.reqs < 1) {
            GLuint name = glref;
            glDeleteTextures(1, &name);
            node.empty = true;
            node.uploaded = false;
        }
    }
}

void TX_DUMP(const std::string& filename)
{
    std::string text = "Lumenfold texture management system\n \n";
    for (const txNode& node : TX_TABLE) {
        if (node.empty)
            continue;
        text += node.name + " OpenGL ref.:" + std::to_string(node.glref) +
                " uploaded:" + (node.uploaded ? "TRUE" : "FALSE") +
                " type:" + std::to_string(node.type) + " reqs.:" + std::to_string(node.reqs) + "\n";
    }
    const std::string path = filename.substr(0, 255);
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return;   // no file can be created there
    std::optional<atomic_file> file;
    try {
        file.emplace(path);
    } catch (const fatal_error&) {
        return;   // a file that cannot be created is skipped without a word
    }
    file->write(text);   // from here on a failure is fatal
    file->commit();
}

std::string tx_file_for(const std::string& name)
{
    return tx_file_name(name.substr(0, 255));
}

int32_t tx_reload(const std::string& requested)
{
    const std::string name = requested.substr(0, 255);
    bool loaded = false;
    for (const txNode& node : TX_TABLE)
        loaded = loaded || (node.name == name && tx_node_live(node));
    if (!loaded)
        return 0;
    std::vector<unsigned char> pixels = tx_read_file(name, tx_file_name(name));
    int32_t refreshed = 0;
    for (txNode& node : TX_TABLE) {
        if (node.name != name || !tx_node_live(node))
            continue;
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(node.glref));
        node.bpp = tx_pixels_bpp(pixels);
        tx_upload(node.type, node.bpp, pixels);
        refreshed += 1;
    }
    return refreshed;
}

void TX_FREEALL()
{
    for (txNode& node : TX_TABLE) {
        if (!node.empty && node.uploaded) {
            GLuint name = static_cast<GLuint>(node.glref);
            glDeleteTextures(1, &name);
        }
    }
    TX_INIT();
}
