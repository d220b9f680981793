// engine/config/config_writer.cpp - writing configuration files and geometry dumps.
//
// CONFIG_WRITE saves the settings the reader understands: a fixed 15-line
// header with the camera values (and after them, for a scene whose MOTION
// asks for rotation and scale playback, a "motion=" line), then one block per
// material, one per object and one per light (all 8, used or not), each
// closed by a "#" line. Floats are
// written with exactly four decimals, so a round trip through the reader keeps
// every value to four decimals (1/3 comes back as 0.3333).
//
// The material blend mode and the object render pass are not copied from the
// scene: they are derived from the material's texture, which is why a scene
// should have its textures bound before it is written (TEXTURETYPE is 24 until
// then). A 24-bit texture gives blend 0 / pass 0 when the material is opaque and
// blend 1 (additive) / pass 1 when its TRANSPARENCY is above 0; a 32-bit texture
// gives blend 2 / pass 2; anything else gives no line. An object whose material
// index names no material gets no pass lines.
//
// Object lines are assembled up to the "=" and cut to 255 characters before
// the value is added; material and light lines are written whole. The reader
// keeps only the first 255 characters of a line, so very long names do not
// survive a round trip.
//
// The whole text is built in memory and written through atomic_file: a failed
// write leaves the previous file in place. Single-threaded; no GL calls.
#include "engine/config/config.h"

#include <cmath>
#include <cstdio>

#include "support/atomic_file.h"

// --- module state -------------------------------------------------------------------
static constexpr size_t CONFIG_TEXT_MAX = 255;  // the cut of assembled texts

static const char* const config_header_comments[] = {
    "#",
    "# Material Info",
    "# ",
    "#                  Texture min/mag filters:",
    "# 0 - NEAREST, 1 - LINEAR, 2 - MIPMAP_NEAREST, 3 - MIPMAP_LINEAR (default)",
    "# ",
    "# Depthtest : 0 -R/W ; 1 -R ; 2 -W ; 3 -N/A",
    "# Alphatest : 0 -N/A ; 0..1 -alpha testing value",
    "# Blend     : 0 -NO  ; 1 -ONE/ONE ; 2 -ALPHA ; 3 -1-ALPHA",
    "# ",
};

// --- value formats -------------------------------------------------------------------
std::string config_f4(float value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    char text[64];
    std::snprintf(text, sizeof(text), "%.4f", static_cast<double>(value));
    std::string s = text;
    if (s == "-0.0000")   // rounds to zero: zero carries no sign
        s = "0.0000";
    return s;
}

std::string config_triple(float a, float b, float c)
{
    return config_f4(a) + "," + config_f4(b) + "," + config_f4(c);
}

static std::string config_rgb(const KST_RGB& c)
{
    return config_triple(c.R, c.G, c.B);
}

static std::string config_vec(const KST_VECTOR& v)
{
    return config_triple(v.X, v.Y, v.Z);
}

static std::string config_u(uint8_t value)
{
    return std::to_string(static_cast<unsigned>(value));
}

static std::string config_bool(KST_BOOL value)
{
    return value ? "1" : "0";
}

static std::string config_cut(std::string text)
{
    if (text.size() > CONFIG_TEXT_MAX)
        text.resize(CONFIG_TEXT_MAX);
    return text;
}

// --- derived blend and pass ------------------------------------------------------------
// 0, 1 or 2 from the texture's bit depth and the transparency; -1 for no line.
static int config_derived_mode(const KST_MATERIAL& m)
{
    if (m.TEXTURETYPE == 32)
        return 2;
    if (m.TEXTURETYPE != 24)
        return -1;
    if (m.TRANSPARENCY == 0.0f)
        return 0;
    if (m.TRANSPARENCY > 0.0f)
        return 1;
    return -1;  // negative or NaN
}

static const char* const config_pass_comments[] = {
    "#standard texture :",
    "#transparent material :",
    "#alpha channel texture :",
};

// --- blocks ------------------------------------------------------------------------------
static void config_line(std::string& out, const std::string& text)
{
    out += text;
    out += '\n';
}

static void config_write_header(std::string& out, const KST_SCENE& scene)
{
    config_line(out, "# Kestrel config file");
    config_line(out, "#");
    config_line(out, "camerafov=" + config_f4(scene.CAMFOV));
    config_line(out, "cameranear=" + config_f4(scene.CAMNEAR));
    config_line(out, "camerafar=" + config_f4(scene.CAMFAR));
    if (scene.MOTION != 0)   // only scenes that ask for rotation and scale playback
        config_line(out, "motion=" + config_u(scene.MOTION));
    for (const char* comment : config_header_comments)
        config_line(out, comment);
}

static void config_write_material(std::string& out, const KST_MATERIAL& m)
{
    const std::string p = "material(" + kst_name_get(m.NAME) + ").";
    config_line(out, p + "texturename=" + kst_name_get(m.TEXTNAME));
    config_line(out, p + "transparency=" + config_f4(m.TRANSPARENCY));
    config_line(out, p + "utile=" + config_f4(m.UTILE));
    config_line(out, p + "vtile=" + config_f4(m.VTILE));
    config_line(out, p + "textured=" + config_bool(m.TEXTURED));
    config_line(out, p + "ambient=" + config_rgb(m.AMBIENT));
    config_line(out, p + "diffuse=" + config_rgb(m.DIFFUSE));
    config_line(out, p + "specular=" + config_rgb(m.SPECULAR));
    config_line(out, p + "shine=" + std::to_string(m.SHINE));
    config_line(out, p + "envmap=" + config_bool(m.ENVMAP));
    config_line(out, p + "envmaptexture=" + kst_name_get(m.ENVTEXTNAME));
    config_line(out, p + "magtype=" + std::to_string(m.MAGTYPE));
    config_line(out, p + "receivelight=" + config_bool(m.RECEIVELIGHT));
    config_line(out, p + "depthtest=" + config_u(m.DEPTHTEST));
    config_line(out, p + "alphatest=" + config_f4(m.ALPHATEST));
    config_line(out, p + "texturewrap=" + config_u(m.TEXTUREWRAP));
    config_line(out, p + "constantalpha=" + config_f4(m.CONSTANTALPHA));
    config_line(out, p + "flaresize=" + config_f4(m.FLARESIZE));
    int mode = config_derived_mode(m);
    if (mode >= 0)
        config_line(out, p + "blend=" + std::to_string(mode));
    config_line(out, "#");
}

// The object's material, or nullptr when its index names none.
static const KST_MATERIAL* config_object_material(const KST_SCENE& scene, const KST_OBJECT& o)
{
    if (!scene.MATERIAL || o.MATERIAL < 0 || o.MATERIAL >= scene.MATERIALS)
        return nullptr;
    return &scene.MATERIAL[o.MATERIAL];
}

static void config_write_object(std::string& out, const KST_SCENE& scene, const KST_OBJECT& o)
{
    const std::string q = "object(" + kst_name_get(o.NAME) + ").";
    auto key = [&](const char* k, const std::string& value) {
        config_line(out, config_cut(q + k + "=") + value);
    };
    const KST_PARTICLEDATA& pd = o.PARTICLE;
    key("material", std::to_string(o.MATERIAL));
    key("rendermode", config_u(o.RENDERMODE));
    key("visible", config_bool(o.VISIBLE));
    key("particleenabled", config_bool(pd.ENABLED));
    key("deltavector", config_vec(pd.DELTAVECTOR));
    key("deltavectorspread", config_vec(pd.DELTAVECTORSPREAD));
    key("color", config_rgb(pd.COLOR));
    key("colorspread", config_rgb(pd.COLORSPREAD));
    key("colorattrib", config_u(pd.COLORATTRIB));
    key("power", config_f4(pd.POWER));
    key("deltapower", config_f4(pd.DELTAPOWER));
    key("newparticle", std::to_string(pd.NEWPARTICLE));
    key("particletexture", kst_name_get(pd.TEXTURENAME));
    key("size", config_f4(pd.SIZE));
    const KST_MATERIAL* m = config_object_material(scene, o);
    int mode = m ? config_derived_mode(*m) : -1;
    if (mode >= 0) {
        key("passno", std::to_string(mode));
        config_line(out, config_cut(config_pass_comments[mode] + kst_name_get(m->TEXTNAME)));
    }
    key("backfacecull", config_bool(o.BACKFACECULL));
    config_line(out, "#");
}

static void config_write_light(std::string& out, const KST_LIGHT& l)
{
    const std::string prefix = "light(" + kst_name_get(l.NAME) + ").";
    config_line(out, prefix + "enabled=" + config_bool(l.ENABLED));
    config_line(out, prefix + "pos=" + config_vec(l.POS));
    config_line(out, prefix + "ambient=" + config_rgb(l.AMBIENT));
    config_line(out, prefix + "diffuse=" + config_rgb(l.DIFFUSE));
    config_line(out, prefix + "specular=" + config_rgb(l.SPECULAR));
    config_line(out, "#");
}

static void config_save(const std::string& filename, const std::string& text)
{
    atomic_file file(filename);
    file.write(text);
    file.commit();
}

// --- public functions --------------------------------------------------------------------
std::string config_write_text(const KST_SCENE& scene)
{
    std::string out;
    config_write_header(out, scene);
    for (int32_t i = 0; scene.MATERIAL && i < scene.MATERIALS; ++i)
        config_write_material(out, scene.MATERIAL[i]);
    config_line(out, "# Object Info");
    for (int32_t i = 0; scene.OBJ && i < scene.OBJECTS; ++i)
        config_write_object(out, scene, scene.OBJ[i]);
    config_line(out, "# Light Info");
    for (const KST_LIGHT& light : scene.LIGHT)
        config_write_light(out, light);
    return out;
}

void CONFIG_WRITE(const KST_SCENE& scene, const std::string& filename)
{
    config_save(filename, config_write_text(scene));
}

// One object's part of the vertex and face files.
static std::string config_dump_vertices(const KST_OBJECT& o)
{
    std::string out = kst_name_get(o.NAME) + "\n \n";
    for (int32_t j = 0; o.VERTEX && j < o.VERTICES; ++j) {
        const KST_VECTOR& v = o.VERTEX[j];
        out += std::to_string(j) + " " + config_f4(v.X) + " " + config_f4(v.Y) + " " +
               config_f4(v.Z) + "\n";
    }
    return out;
}

static std::string config_dump_faces(const KST_OBJECT& o)
{
    std::string out = kst_name_get(o.NAME) + "\n \n";
    for (int32_t j = 0; o.FACE && j < o.FACES; ++j) {
        const KST_FACE& f = o.FACE[j];
        out += std::to_string(j) + " " + std::to_string(f.A) + " " + std::to_string(f.B) + " " +
               std::to_string(f.C) + "\n";
    }
    return out;
}

void CONFIG_GEOMETRYDUMP(const KST_SCENE& scene, const std::string& base)
{
    atomic_file vertices(base + "v");
    for (int32_t i = 0; scene.OBJ && i < scene.OBJECTS; ++i)
        vertices.write(config_dump_vertices(scene.OBJ[i]));
    vertices.commit();
    atomic_file faces(base + "f");
    for (int32_t i = 0; scene.OBJ && i < scene.OBJECTS; ++i)
        faces.write(config_dump_faces(scene.OBJ[i]));
    faces.commit();
}
