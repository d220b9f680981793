// tools/kestrel/scene_json.cpp - a prepared scene as JSON (see scene_json.h).
//
// The tree is built with nlohmann::ordered_json so members keep record order;
// the text is produced by a small printer of our own because the number format
// is fixed (%.9g for 32-bit floats), which nlohmann's own dump cannot do.
// Strings are still escaped by nlohmann.
#include "scene_json.h"

#include <cmath>
#include <cstdio>

using json = nlohmann::ordered_json;

// --- internal helpers: values ------------------------------------------------------------------
static json sj_float(float v)
{
    if (std::isnan(v))
        return "nan";
    if (std::isinf(v))
        return v > 0 ? "inf" : "-inf";
    return static_cast<double>(v);
}

static json sj_name(const KST_NAME& n)
{
    return kst_latin1_to_utf8(kst_name_get(n));
}

static json sj_bool(KST_BOOL b)
{
    return b != 0;
}

static json sj_vec(const KST_VECTOR& v)
{
    return json::array({sj_float(v.X), sj_float(v.Y), sj_float(v.Z)});
}

static json sj_rgb(const KST_RGB& c)
{
    return json::array({sj_float(c.R), sj_float(c.G), sj_float(c.B)});
}

static json sj_rgba(const KST_RGBA& c)
{
    return json::array({sj_float(c.R), sj_float(c.G), sj_float(c.B), sj_float(c.A)});
}

static json sj_uv(const KST_TEXTCOORD& t)
{
    return json::array({sj_float(t.U), sj_float(t.V)});
}

static json sj_face(const KST_FACE& f)
{
    return json::array({f.A, f.B, f.C});
}

static json sj_plane(const KST_PLANE& p)
{
    return json::array({sj_float(p.A), sj_float(p.B), sj_float(p.C), sj_float(p.D)});
}

static json sj_keyvec(const KST_KEYVECTOR& k)
{
    return json::array({k.KEY, sj_float(k.X), sj_float(k.Y), sj_float(k.Z)});
}

static json sj_keyquat(const KST_KEYQUAT& k)
{
    return json::array({k.KEY, sj_float(k.X), sj_float(k.Y), sj_float(k.Z), sj_float(k.W)});
}

static json sj_fog(const KST_FOGPARAM& f)
{
    return json::array({sj_float(f.DENSITY), sj_float(f.FOGSTART), sj_float(f.FOGEND)});
}

static json sj_matrix(const KST_MATRIX& m)
{
    json a = json::array();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            a.push_back(sj_float(m.m[r][c]));
    return a;
}

static json sj_jointset(const KST_JOINTSET& j)
{
    return json::array({j.A, j.B, j.C, j.D});
}

static json sj_weightset(const KST_WEIGHTSET& w)
{
    return json::array({sj_float(w.A), sj_float(w.B), sj_float(w.C), sj_float(w.D)});
}

static json sj_float_at(const float& v)
{
    return sj_float(v);
}

// A product of two counts as an array length (0 when either is negative).
static int32_t sj_product(int32_t a, int32_t b)
{
    int64_t n = a < 0 || b < 0 ? 0 : static_cast<int64_t>(a) * b;
    return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

static json sj_u16(const uint16_t& v)
{
    return v;
}

// An array of `count` elements, or null when absent (or flagged absent).
template <class T>
static json sj_array(const T* a, int32_t count, json (*one)(const T&), bool present = true)
{
    if (!a || !present)
        return nullptr;
    json out = json::array();
    for (int32_t i = 0; i < count; ++i)
        out.push_back(one(a[i]));
    return out;
}

static json sj_particle(const KST_PARTICLEDATA& p)
{
    json o = json::object();
    o["ENABLED"] = sj_bool(p.ENABLED);
    o["DELTAVECTOR"] = sj_vec(p.DELTAVECTOR);
    o["DELTAVECTORSPREAD"] = sj_vec(p.DELTAVECTORSPREAD);
    o["COLOR"] = sj_rgb(p.COLOR);
    o["COLORSPREAD"] = sj_rgb(p.COLORSPREAD);
    o["COLORATTRIB"] = p.COLORATTRIB;
    o["POWER"] = sj_float(p.POWER);
    o["DELTAPOWER"] = sj_float(p.DELTAPOWER);
    o["NEWPARTICLE"] = p.NEWPARTICLE;
    o["TEXTURENAME"] = sj_name(p.TEXTURENAME);
    o["TEXTURE"] = p.TEXTURE;
    o["SIZE"] = sj_float(p.SIZE);
    return o;
}

static json sj_material(const KST_MATERIAL& m)
{
    json o = json::object();
    o["NAME"] = sj_name(m.NAME);
    o["TEXTNAME"] = sj_name(m.TEXTNAME);
    o["TRANSPARENCY"] = sj_float(m.TRANSPARENCY);
    o["TEXTURE"] = m.TEXTURE;
    o["UTILE"] = sj_float(m.UTILE);
    o["VTILE"] = sj_float(m.VTILE);
    o["TEXTURETYPE"] = m.TEXTURETYPE;
    o["TEXTURED"] = sj_bool(m.TEXTURED);
    o["AMBIENT"] = sj_rgb(m.AMBIENT);
    o["DIFFUSE"] = sj_rgb(m.DIFFUSE);
    o["SPECULAR"] = sj_rgb(m.SPECULAR);
    o["SHINE"] = m.SHINE;
    o["ENVTEXTNAME"] = sj_name(m.ENVTEXTNAME);
    o["ENVMAP"] = sj_bool(m.ENVMAP);
    o["ENVTEXTURE"] = m.ENVTEXTURE;
    o["MAGTYPE"] = m.MAGTYPE;
    o["RECEIVELIGHT"] = sj_bool(m.RECEIVELIGHT);
    o["ALPHATEST"] = sj_float(m.ALPHATEST);
    o["DEPTHTEST"] = m.DEPTHTEST;
    o["BLEND"] = m.BLEND;
    o["TEXTUREWRAP"] = m.TEXTUREWRAP;
    o["CONSTANTALPHA"] = sj_float(m.CONSTANTALPHA);
    o["FLARESIZE"] = sj_float(m.FLARESIZE);
    o["SELECTED"] = sj_bool(m.SELECTED);
    o["DEPTHMODE"] = m.DEPTHMODE;
    o["ENVMAPCOLOR"] = sj_rgb(m.ENVMAPCOLOR);
    o["ENVMAPALPHA"] = sj_float(m.ENVMAPALPHA);
    o["ENVMODE"] = sj_bool(m.ENVMODE);
    return o;
}

static void sj_object_fields(json& o, const KST_OBJECT& b)
{
    o["RENDERMODE"] = b.RENDERMODE;
    o["NORMALS"] = sj_bool(b.NORMALS);
    o["TEXTURE"] = sj_bool(b.TEXTURE);
    o["COLOR"] = sj_bool(b.COLOR);
    o["VISIBLE"] = sj_bool(b.VISIBLE);
    o["NAME"] = sj_name(b.NAME);
    o["VERTICES"] = b.VERTICES;
    o["FACES"] = b.FACES;
    o["MATERIAL"] = b.MATERIAL;
    o["POSKEYS"] = b.POSKEYS;
    o["ROTKEYS"] = b.ROTKEYS;
    o["SCALEKEYS"] = b.SCALEKEYS;
    o["STRIPLENGTH"] = b.STRIPLENGTH;
    o["BACKFACECULL"] = sj_bool(b.BACKFACECULL);
    o["PASSNO"] = b.PASSNO;
    o["LOD"] = b.LOD;
    o["INITMATRIX"] = sj_matrix(b.INITMATRIX);
    o["POS"] = sj_vec(b.POS);
    o["TEMPCOLOR"] = sj_rgb(b.TEMPCOLOR);
    o["PARTICLE"] = sj_particle(b.PARTICLE);
    o["SELECTED"] = sj_bool(b.SELECTED);
    o["PICKED"] = sj_bool(b.PICKED);
    o["STATICROTATE"] = sj_vec(b.STATICROTATE);
    o["UVDELTA"] = sj_vec(b.UVDELTA);
}

static json sj_object(const KST_OBJECT& b)
{
    json o = json::object();
    sj_object_fields(o, b);
    o["STRIP"] = sj_array(b.STRIP, b.STRIPLENGTH, sj_u16);
    o["FACE"] = sj_array(b.FACE, b.FACES, sj_face);
    o["ORIG_FACE"] = sj_array(b.ORIG_FACE, b.FACES, sj_face);
    o["VERTEX"] = sj_array(b.VERTEX, b.VERTICES, sj_vec);
    o["CVERTEX"] = sj_array(b.CVERTEX, b.VERTICES, sj_rgb, b.COLOR != 0);
    o["TEXCOORD"] = sj_array(b.TEXCOORD, b.VERTICES, sj_uv, b.TEXTURE != 0);
    o["VERTEXNORMAL"] = sj_array(b.VERTEXNORMAL, b.VERTICES, sj_vec, b.NORMALS != 0);
    o["FACENORMAL"] = sj_array(b.FACENORMAL, b.FACES, sj_vec);
    o["POSITION"] = sj_array(b.POSITION, b.POSKEYS, sj_keyvec);
    o["ROTATE"] = sj_array(b.ROTATE, b.ROTKEYS, sj_keyquat);
    o["SCALE"] = sj_array(b.SCALE, b.SCALEKEYS, sj_keyvec);
    o["PLANE"] = sj_array(b.PLANE, b.FACES, sj_plane);
    o["NEIGHBOUR"] = sj_array(b.NEIGHBOUR, b.FACES, sj_face);
    o["FACECENTER"] = sj_array(b.FACECENTER, b.FACES, sj_vec);
    o["CASTSHADOW"] = sj_bool(b.CASTSHADOW);
    o["RECEIVESHADOW"] = sj_bool(b.RECEIVESHADOW);
    o["USEFOG"] = sj_bool(b.USEFOG);
    o["FOGMODE"] = b.FOGMODE;
    o["FOGPARAM"] = sj_fog(b.FOGPARAM);
    o["FOGCOLOR"] = sj_rgba(b.FOGCOLOR);
    o["JOINTS"] = b.JOINTS;
    o["MORPHS"] = b.MORPHS;
    o["SKINFRAMES"] = b.SKINFRAMES;
    o["SKINJOINT"] = sj_array(b.SKINJOINT, b.VERTICES, sj_jointset, b.JOINTS != 0);
    o["SKINWEIGHT"] = sj_array(b.SKINWEIGHT, b.VERTICES, sj_weightset, b.JOINTS != 0);
    o["JOINTBIND"] = sj_array(b.JOINTBIND, b.JOINTS, sj_matrix);
    o["JOINTMATRIX"] = sj_array(b.JOINTMATRIX, sj_product(b.JOINTS, b.SKINFRAMES), sj_matrix);
    o["MORPHVERTEX"] = sj_array(b.MORPHVERTEX, sj_product(b.MORPHS, b.VERTICES), sj_vec);
    o["MORPHNORMAL"] = sj_array(b.MORPHNORMAL, sj_product(b.MORPHS, b.VERTICES), sj_vec, b.MORPHS != 0);
    o["MORPHWEIGHT"] = sj_array(b.MORPHWEIGHT, sj_product(b.MORPHS, b.SKINFRAMES), sj_float_at);
    return o;
}

static json sj_light(const KST_LIGHT& l)
{
    json o = json::object();
    o["NAME"] = sj_name(l.NAME);
    o["POS"] = sj_vec(l.POS);
    o["POSKEYS"] = l.POSKEYS;
    o["AMBIENT"] = sj_rgb(l.AMBIENT);
    o["DIFFUSE"] = sj_rgb(l.DIFFUSE);
    o["SPECULAR"] = sj_rgb(l.SPECULAR);
    o["ENABLED"] = sj_bool(l.ENABLED);
    o["POSITION"] = sj_array(l.POSITION, l.POSKEYS, sj_keyvec);
    return o;
}

// --- internal helpers: text ------------------------------------------------------------------------
static bool sj_is_flat(const json& v)
{
    for (const json& e : v) {
        if (e.is_object())
            return false;
        if (e.is_array())
            for (const json& x : e)
                if (x.is_structured())
                    return false;
    }
    return true;
}

static void sj_write(std::string& out, const json& v, int depth);

static void sj_write_number(std::string& out, const json& v)
{
    if (v.is_number_float()) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.9g", v.get<double>());
        out += buf;
        return;
    }
    out += v.dump();
}

static void sj_write_array(std::string& out, const json& v, int depth)
{
    if (v.empty()) {
        out += "[]";
        return;
    }
    // arrays of plain values (or of small tuples such as vertices) stay compact
    bool flat = sj_is_flat(v);
    bool tuples = flat && v.front().is_array();
    std::string pad(2 * (depth + 1), ' ');
    out += '[';
    bool first = true;
    for (const json& e : v) {
        if (!first)
            out += flat && !tuples ? ", " : ",";
        if (!flat || tuples)
            out += "\n" + pad;
        sj_write(out, e, depth + 1);
        first = false;
    }
    if (!flat || tuples)
        out += "\n" + std::string(2 * depth, ' ');
    out += ']';
}

static void sj_write_object(std::string& out, const json& v, int depth)
{
    std::string pad(2 * (depth + 1), ' ');
    out += '{';
    bool first = true;
    for (auto it = v.begin(); it != v.end(); ++it) {
        out += first ? "\n" : ",\n";
        out += pad + json(it.key()).dump() + ": ";
        sj_write(out, it.value(), depth + 1);
        first = false;
    }
    out += "\n" + std::string(2 * depth, ' ') + "}";
}

static void sj_write(std::string& out, const json& v, int depth)
{
    if (v.is_object())
        sj_write_object(out, v, depth);
    else if (v.is_array())
        sj_write_array(out, v, depth);
    else if (v.is_number())
        sj_write_number(out, v);
    else
        out += v.dump();
}

// --- public functions ----------------------------------------------------------------------------------
std::string kst_latin1_to_utf8(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

json kst_scene_json(const KST_SCENE& s)
{
    json o = json::object();
    o["NUMOFCHUNKS"] = s.NUMOFCHUNKS;
    o["MAJORVERSION"] = s.MAJORVERSION;
    o["MINORVERSION"] = s.MINORVERSION;
    o["NAME"] = sj_name(s.NAME);
    o["FRAMES"] = s.FRAMES;
    o["MATERIALS"] = s.MATERIALS;
    o["OBJECTS"] = s.OBJECTS;
    o["MAXPASS"] = s.MAXPASS;
    o["CAMFOV"] = sj_float(s.CAMFOV);
    o["CAMNEAR"] = sj_float(s.CAMNEAR);
    o["CAMFAR"] = sj_float(s.CAMFAR);
    o["CAMPOSKEYS"] = s.CAMPOSKEYS;
    o["CAMTARGETKEYS"] = s.CAMTARGETKEYS;
    o["MAXFACES"] = s.MAXFACES;
    o["VOLUMEARRAYLENGTH"] = s.VOLUMEARRAYLENGTH;
    o["MATERIAL"] = sj_array(s.MATERIAL, s.MATERIALS, sj_material);
    o["OBJ"] = sj_array(s.OBJ, s.OBJECTS, sj_object);
    o["CAMPOSITION"] = sj_array(s.CAMPOSITION, s.CAMPOSKEYS, sj_keyvec);
    o["CAMTARGET"] = sj_array(s.CAMTARGET, s.CAMTARGETKEYS, sj_keyvec);
    o["CAMPOSEASE"] = sj_array(s.CAMPOSEASE, s.CAMPOSKEYS, sj_vec);
    o["CAMTARGETEASE"] = sj_array(s.CAMTARGETEASE, s.CAMTARGETKEYS, sj_vec);
    o["LIGHT"] = sj_array(s.LIGHT, KST_LIGHTS, sj_light);
    o["MAINDATASIZE"] = s.MAINDATASIZE;
    o["PARTICLES"] = s.PARTICLES;
    o["DRAWDISTANCE"] = sj_float(s.DRAWDISTANCE);
    o["INFINITY"] = sj_float(s.INFINITY);
    o["SHADOWVALUE"] = sj_float(s.SHADOWVALUE);
    o["MOTION"] = s.MOTION;
    return o;
}

std::string kst_json_text(const json& value)
{
    std::string out;
    sj_write(out, value, 0);
    out += '\n';
    return out;
}
