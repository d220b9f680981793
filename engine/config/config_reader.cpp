// engine/config/config_reader.cpp - applying a configuration file to a scene.
//
// The file is read line by line; each line keeps its first 255 characters (the
// rest of a longer line is skipped) and is never trimmed, so "camerafov = 60"
// is a line whose leading word "camerafov " matches nothing. A line is split on
// the FIRST "(", ")", "." and "=" it contains: the leading word before the first
// of "=", "(" and ".", the name between "(" and ")", the key between "." and
// "=", the value after "=". A "." inside a name therefore ends the name part
// and the line addresses no key; a value may hold "=" and ".".
//
// Keys are looked up in one small table per kind (material, object, light);
// each entry converts the value and stores it. Material numbers are lenient
// (bad text reads as 0), the object integers are strict: their bad text is a
// fatal error naming the file, the line number and the line.
//
// Entries are selected by exact name; when several share a name the last one
// wins. A name that matches nothing changes nothing and is reported, and an
// object's material index must name an existing material: otherwise the
// renderer would index outside the material array.
//
// Line ends are "\n"; a "\r" before it is dropped, so files saved with "\r\n"
// read the same. Single-threaded; no GL calls.
#include "engine/config/config.h"
#include "engine/render/draw.h"

#include <cerrno>
#include <cstring>

#include "support/error.h"
#include "support/numparse.h"

// --- types --------------------------------------------------------------------------
template <class T>
struct config_key {
    const char* key;
    void (*apply)(T& entry, const std::string& value);
};

// --- module state -------------------------------------------------------------------
static constexpr size_t CONFIG_LINE_MAX = 255;  // characters kept of each line

// --- value conversions ---------------------------------------------------------------
static float config_float(const std::string& value)
{
    return numparse_float_or_zero(value);
}

static int32_t config_int(const std::string& value)
{
    return numparse_int_or_zero(value);
}

// As an integer without a minus sign, low 8 bits; 0 for anything else.
static uint8_t config_byte(const std::string& value)
{
    size_t first = value.find_first_not_of(" \t");
    int32_t v = 0;
    if (first != std::string::npos && value[first] == '-')
        return 0;
    if (!numparse_int(value, v))
        return 0;
    return static_cast<uint8_t>(v & 0xFF);
}

static KST_BOOL config_flag(const std::string& value)
{
    return value == "1" ? 1 : 0;
}

// Whole integer or a fatal error; the reader adds the file and line.
static int32_t config_strict(const std::string& value)
{
    int32_t v = 0;
    if (!numparse_int(value, v))
        fatal_raise("\"" + value + "\" is an invalid integer");
    return v;
}

static void config_set_rgb(KST_RGB& rgb, const std::string& value)
{
    rgb.R = config_float(CONFIG_COMPONENT(value, 1));
    rgb.G = config_float(CONFIG_COMPONENT(value, 2));
    rgb.B = config_float(CONFIG_COMPONENT(value, 3));
}

static void config_set_vector(KST_VECTOR& v, const std::string& value)
{
    v.X = config_float(CONFIG_COMPONENT(value, 1));
    v.Y = config_float(CONFIG_COMPONENT(value, 2));
    v.Z = config_float(CONFIG_COMPONENT(value, 3));
}

// --- key tables ----------------------------------------------------------------------
static const config_key<KST_MATERIAL> config_material_keys[] = {
    {"texturename",   [](KST_MATERIAL& m, const std::string& v) { kst_name_set(m.TEXTNAME, v); }},
    {"envmaptexture", [](KST_MATERIAL& m, const std::string& v) { kst_name_set(m.ENVTEXTNAME, v); }},
    {"envmap",        [](KST_MATERIAL& m, const std::string& v) { m.ENVMAP = config_flag(v); }},
    {"transparency",  [](KST_MATERIAL& m, const std::string& v) { m.TRANSPARENCY = config_float(v); }},
    {"utile",         [](KST_MATERIAL& m, const std::string& v) { m.UTILE = config_float(v); }},
    {"vtile",         [](KST_MATERIAL& m, const std::string& v) { m.VTILE = config_float(v); }},
    {"textured",      [](KST_MATERIAL& m, const std::string& v) { m.TEXTURED = config_flag(v); }},
    {"receivelight",  [](KST_MATERIAL& m, const std::string& v) { m.RECEIVELIGHT = config_flag(v); }},
    {"shine",         [](KST_MATERIAL& m, const std::string& v) { m.SHINE = config_int(v); }},
    {"alphatest",     [](KST_MATERIAL& m, const std::string& v) { m.ALPHATEST = config_float(v); }},
    {"flaresize",     [](KST_MATERIAL& m, const std::string& v) { m.FLARESIZE = config_float(v); }},
    {"magtype",       [](KST_MATERIAL& m, const std::string& v) { m.MAGTYPE = config_int(v); }},
    {"blend",         [](KST_MATERIAL& m, const std::string& v) { m.BLEND = config_byte(v); }},
    {"texturewrap",   [](KST_MATERIAL& m, const std::string& v) { m.TEXTUREWRAP = config_byte(v); }},
    {"constantalpha", [](KST_MATERIAL& m, const std::string& v) { m.CONSTANTALPHA = config_float(v); }},
    {"depthtest",     [](KST_MATERIAL& m, const std::string& v) { m.DEPTHTEST = config_byte(v); }},
    {"ambient",       [](KST_MATERIAL& m, const std::string& v) { config_set_rgb(m.AMBIENT, v); }},
    {"diffuse",       [](KST_MATERIAL& m, const std::string& v) { config_set_rgb(m.DIFFUSE, v); }},
    {"specular",      [](KST_MATERIAL& m, const std::string& v) { config_set_rgb(m.SPECULAR, v); }},
};

// "material" is not in this table: it needs the scene to check the index.
static const config_key<KST_OBJECT> config_object_keys[] = {
    {"rendermode",   [](KST_OBJECT& o, const std::string& v) { o.RENDERMODE = static_cast<uint8_t>(config_strict(v) & 0xFF); }},
    {"passno",       [](KST_OBJECT& o, const std::string& v) { o.PASSNO = config_strict(v); }},
    {"visible",      [](KST_OBJECT& o, const std::string& v) { o.VISIBLE = config_flag(v); }},
    {"backfacecull", [](KST_OBJECT& o, const std::string& v) { o.BACKFACECULL = config_flag(v); }},
    {"particleenabled", [](KST_OBJECT& o, const std::string& v) { o.PARTICLE.ENABLED = config_flag(v); }},
    {"colorattrib",  [](KST_OBJECT& o, const std::string& v) { o.PARTICLE.COLORATTRIB = static_cast<uint8_t>(config_strict(v) & 0xFF); }},
    {"newparticle",  [](KST_OBJECT& o, const std::string& v) { o.PARTICLE.NEWPARTICLE = config_strict(v); }},
    {"particletexture", [](KST_OBJECT& o, const std::string& v) { kst_name_set(o.PARTICLE.TEXTURENAME, v); }},
    {"power",        [](KST_OBJECT& o, const std::string& v) { o.PARTICLE.POWER = config_float(v); }},
    {"size",         [](KST_OBJECT& o, const std::string& v) { o.PARTICLE.SIZE = config_float(v); }},
    {"deltapower",   [](KST_OBJECT& o, const std::string& v) { o.PARTICLE.DELTAPOWER = config_float(v); }},
    {"deltavector",  [](KST_OBJECT& o, const std::string& v) { config_set_vector(o.PARTICLE.DELTAVECTOR, v); }},
    {"deltavectorspread", [](KST_OBJECT& o, const std::string& v) { config_set_vector(o.PARTICLE.DELTAVECTORSPREAD, v); }},
    {"color",        [](KST_OBJECT& o, const std::string& v) { config_set_rgb(o.PARTICLE.COLOR, v); }},
    {"colorspread",  [](KST_OBJECT& o, const std::string& v) { config_set_rgb(o.PARTICLE.COLORSPREAD, v); }},
};

static const config_key<KST_LIGHT> config_light_keys[] = {
    {"enabled",  [](KST_LIGHT& l, const std::string& v) { l.ENABLED = config_flag(v); }},
    {"pos",      [](KST_LIGHT& l, const std::string& v) { config_set_vector(l.POS, v); }},
    {"ambient",  [](KST_LIGHT& l, const std::string& v) { config_set_rgb(l.AMBIENT, v); }},
    {"diffuse",  [](KST_LIGHT& l, const std::string& v) { config_set_rgb(l.DIFFUSE, v); }},
    {"specular", [](KST_LIGHT& l, const std::string& v) { config_set_rgb(l.SPECULAR, v); }},
};

template <class T, size_t N>
static void config_table_apply(const config_key<T> (&table)[N], T& entry, const std::string& key,
                               const std::string& value)
{
    for (const config_key<T>& k : table) {
        if (key == k.key) {
            k.apply(entry, value);
            return;
        }
    }
}

// --- internal helpers ----------------------------------------------------------------
template <class T>
static int32_t config_find(const T* entries, int32_t count, const std::string& name)
{
    int32_t found = -1;
    for (int32_t i = 0; entries && i < count; ++i) {
        if (kst_name_equals(entries[i].NAME, name))
            found = i;
    }
    return found;
}

static void config_report_unmatched(const char* kind, const std::string& name, const std::string& key)
{
    ERROR_REPORT("Config: no " + std::string(kind) + " is named (" + name + "); line for key \"" +
                 key + "\" ignored.");
}

static void config_object_material(KST_SCENE& scene, KST_OBJECT& object, const std::string& value)
{
    int32_t index = config_strict(value);
    if (index < 0 || index >= scene.MATERIALS || !scene.MATERIAL) {
        ERROR_REPORT("Config: object(" + kst_name_get(object.NAME) + ").material=" + value +
                     " names no material of the scene; index " +
                     std::to_string(object.MATERIAL) + " kept.");
        return;
    }
    object.MATERIAL = index;
}

// Applies one non-comment line.
static void config_apply_line(KST_SCENE& scene, const std::string& line)
{
    std::string word = CONFIG_LINEWORD(line);
    if (word == "camerafov")
        scene.CAMFOV = config_float(CONFIG_LINEVALUE(line));
    else if (word == "cameranear")
        scene.CAMNEAR = config_float(CONFIG_LINEVALUE(line));
    else if (word == "camerafar")
        scene.CAMFAR = config_float(CONFIG_LINEVALUE(line));
    else if (word == "motion")
        scene.MOTION = config_byte(CONFIG_LINEVALUE(line));
    else if (word == "material")
        CONFIG_MATERIALKEY(scene, CONFIG_LINENAME(line), CONFIG_LINEKEY(line), CONFIG_LINEVALUE(line));
    else if (word == "object")
        CONFIG_OBJECTKEY(scene, CONFIG_LINENAME(line), CONFIG_LINEKEY(line), CONFIG_LINEVALUE(line));
    else if (word == "light")
        CONFIG_LIGHTKEY(scene, CONFIG_LINENAME(line), CONFIG_LINEKEY(line), CONFIG_LINEVALUE(line));
}

// Reads one line: its first 255 characters, without the line end. False at
// the end of the stream when nothing was read; fatal on a read error.
static bool config_read_line(FILE* stream, const std::string& name, std::string& line)
{
    line.clear();
    size_t length = 0;
    int c;
    while ((c = std::getc(stream)) != EOF && c != '\n') {
        if (line.size() <= CONFIG_LINE_MAX)   // one extra to see a "\r" before "\n"
            line.push_back(static_cast<char>(c));
        ++length;
    }
    if (std::ferror(stream))
        fatal_raise(name + ": read failed: " + std::strerror(errno));
    if (c == EOF && length == 0)
        return false;
    if (c == '\n' && length > 0 && length == line.size() && line.back() == '\r')
        line.pop_back();
    if (line.size() > CONFIG_LINE_MAX)
        line.resize(CONFIG_LINE_MAX);
    return true;
}

// --- public functions: splitting ------------------------------------------------------
std::string CONFIG_LINEWORD(const std::string& line)
{
    return line.substr(0, line.find_first_of("=(."));
}

static std::string config_between(const std::string& line, char open, char close)
{
    size_t a = line.find(open);
    size_t b = line.find(close);
    if (a == std::string::npos || b == std::string::npos || b < a)
        return std::string();
    return line.substr(a + 1, b - a - 1);
}

std::string CONFIG_LINENAME(const std::string& line)
{
    return config_between(line, '(', ')');
}

std::string CONFIG_LINEKEY(const std::string& line)
{
    return config_between(line, '.', '=');
}

std::string CONFIG_LINEVALUE(const std::string& line)
{
    size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

std::string CONFIG_COMPONENT(const std::string& text, int32_t component)
{
    size_t c1 = text.find(',');
    size_t c2 = c1 == std::string::npos ? std::string::npos : text.find(',', c1 + 1);
    switch (component) {
    case 1:
        return text.substr(0, c1);
    case 2:
        return c1 == std::string::npos ? std::string() : text.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1);
    case 3:
        return c2 == std::string::npos ? std::string() : text.substr(c2 + 1);
    default:
        return std::string();
    }
}

// --- public functions: lookups and appliers ---------------------------------------------
int32_t CONFIG_MATERIALINDEX(const KST_SCENE& scene, const std::string& name)
{
    return config_find(scene.MATERIAL, scene.MATERIALS, name);
}

int32_t CONFIG_OBJECTINDEX(const KST_SCENE& scene, const std::string& name)
{
    return config_find(scene.OBJ, scene.OBJECTS, name);
}

int32_t CONFIG_LIGHTINDEX(const KST_SCENE& scene, const std::string& name)
{
    return config_find(scene.LIGHT, KST_LIGHTS, name);
}

void CONFIG_MATERIALKEY(KST_SCENE& scene, const std::string& name, const std::string& key,
                        const std::string& value)
{
    int32_t i = CONFIG_MATERIALINDEX(scene, name);
    if (i < 0)
        return config_report_unmatched("material", name, key);
    config_table_apply(config_material_keys, scene.MATERIAL[i], key, value);
}

void CONFIG_OBJECTKEY(KST_SCENE& scene, const std::string& name, const std::string& key,
                      const std::string& value)
{
    int32_t i = CONFIG_OBJECTINDEX(scene, name);
    if (i < 0)
        return config_report_unmatched("object", name, key);
    if (key == "material")
        config_object_material(scene, scene.OBJ[i], value);
    else
        config_table_apply(config_object_keys, scene.OBJ[i], key, value);
}

void CONFIG_LIGHTKEY(KST_SCENE& scene, const std::string& name, const std::string& key,
                     const std::string& value)
{
    int32_t i = CONFIG_LIGHTINDEX(scene, name);
    if (i < 0)
        return config_report_unmatched("light", name, key);
    config_table_apply(config_light_keys, scene.LIGHT[i], key, value);
}

// --- public functions: reading -----------------------------------------------------------
int32_t config_max_pass(const KST_SCENE& scene)
{
    int32_t max = 0;
    for (int32_t i = 0; scene.OBJ && i < scene.OBJECTS; ++i) {
        if (scene.OBJ[i].PASSNO > max)
            max = scene.OBJ[i].PASSNO;
    }
    return max;
}

void config_read_stream(KST_SCENE& scene, FILE* stream, const std::string& name)
{
    std::string line;
    int32_t number = 0;
    while (config_read_line(stream, name, line)) {
        ++number;
        if (line.empty() || line[0] == '#')
            continue;
        try {
            config_apply_line(scene, line);
        } catch (const fatal_error& e) {
            fatal_raise(name + ": line " + std::to_string(number) + ": " + e.what() + " in \"" +
                        line + "\"");
        }
    }
    scene.MAXPASS = config_max_pass(scene);
    kst_render_geometry_changed(scene);   // pivots may have moved: new bounds, new upload
}

void CONFIG_READ(KST_SCENE& scene, const std::string& filename)
{
    FILE* stream = std::fopen(filename.c_str(), "rb");
    if (!stream) {
        std::string reason = std::strerror(errno);
        ERROR_REPORT("Config file (" + filename + ") not found.");
        fatal_raise(filename + ": cannot read file: " + reason);
    }
    try {
        config_read_stream(scene, stream, filename);
    } catch (...) {
        std::fclose(stream);
        throw;
    }
    if (std::fclose(stream) != 0)
        fatal_raise(filename + ": close failed: " + std::strerror(errno));
}
