// engine/import/import_material.cpp - materials and their textures.
//
// Colours: diffuse is the base colour where the file has one (glTF), else
// the diffuse colour. The fixed-function lights add material ambient times
// light ambient, so a file without an ambient colour (most of them) gets its
// diffuse colour as ambient; an emissive colour is added on top, and a
// material that is emissive but not diffuse is drawn unlit in its emissive
// colour. Shininess is clamped to GL's 0..128.
//
// Opacity below 1: the material goes to pass 1 (transparent), blending
// GL_SRC_ALPHA / GL_ONE_MINUS_SRC_ALPHA, depth test on and depth writes off,
// so what lies behind shows through by 1 - opacity and transparent surfaces do
// not hide each other. Lit surfaces take their alpha from the material (always
// 1 in fixed-function lighting) times the texture, so the opacity is carried
// by the texture's alpha channel: a textured material gets its image's alpha
// multiplied by the opacity, an untextured one a plain white RGBA texture
// whose alpha is the opacity. A texture with an alpha channel at full opacity
// is a cut-out: pass 2 with the alpha test at 0.5, depth writes on.
//
// glTF files say how alpha is used (alphaMode): OPAQUE ignores it, MASK is
// the alpha test at alphaCutoff (GL's test passes alpha above the cutoff,
// glTF's at or above it: they differ on one value of 256), BLEND blends. A
// mesh without a material of its own gets a neutral grey one.
//
// Textures: the diffuse (or base-colour) texture, embedded or a file beside
// the model, is decoded and resized to 256 x 256 and given a unique .raw name
// from the output prefix and the source image's name. A texture that cannot be
// found or decoded is a warning and leaves the material untextured.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <assimp/GltfMaterial.h>
#include <assimp/material.h>

#include "engine/import/import_internal.h"
#include "support/error.h"

namespace fs = std::filesystem;

namespace {

constexpr float mat_opaque = 0.999f;

// How a material's alpha is used: as the file's glTF alphaMode says, or, for
// the formats without one, from the opacity and the texture (mat_surface).
enum class mat_alpha { unsaid, opaque, mask, blend };

struct mat_alpha_use {
    mat_alpha mode = mat_alpha::unsaid;
    float     cutoff = 0.5f;   // MASK: drawn where alpha reaches this
};

mat_alpha_use mat_alpha_mode(const aiMaterial& m)
{
    mat_alpha_use use;
    aiString mode;
    if (m.Get(AI_MATKEY_GLTF_ALPHAMODE, mode) != AI_SUCCESS)
        return use;
    std::string text = mode.C_Str();
    use.mode = text == "MASK" ? mat_alpha::mask : text == "BLEND" ? mat_alpha::blend : mat_alpha::opaque;
    float cutoff = 0.5f;
    if (m.Get(AI_MATKEY_GLTF_ALPHACUTOFF, cutoff) == AI_SUCCESS && std::isfinite(cutoff))
        use.cutoff = std::clamp(cutoff, 0.0f, 1.0f);
    return use;
}

// The material readers make when a file gives a mesh none (STL, PLY and
// OBJ's "DefaultMaterial", glTF's unnamed default): no texture, no emission,
// a white or 60 % grey diffuse colour. Drawn as it comes (diffuse, ambient
// and specular 1) it is a white silhouette, so it is replaced by a neutral
// lit material (mat_neutral).
bool mat_is_default(const aiMaterial& m)
{
    aiString n;
    std::string name = m.Get(AI_MATKEY_NAME, n) == AI_SUCCESS ? std::string(n.C_Str()) : std::string();
    if (name != AI_DEFAULT_MATERIAL_NAME && !name.empty())
        return false;
    for (aiTextureType type : {aiTextureType_BASE_COLOR, aiTextureType_DIFFUSE})
        if (m.GetTextureCount(type) > 0)
            return false;
    aiColor4D c(1, 1, 1, 1), e(0, 0, 0, 1);
    if (m.Get(AI_MATKEY_BASE_COLOR, c) != AI_SUCCESS)
        m.Get(AI_MATKEY_COLOR_DIFFUSE, c);
    m.Get(AI_MATKEY_COLOR_EMISSIVE, e);
    auto grey = [&](float v) { return std::fabs(c.r - v) < 1e-3f && std::fabs(c.g - v) < 1e-3f && std::fabs(c.b - v) < 1e-3f; };
    return (grey(1.0f) || grey(0.6f)) && e.r + e.g + e.b <= 0.0f;
}

// Mid grey with a modest specular highlight.
void mat_neutral(KST_MATERIAL& k)
{
    k.DIFFUSE = k.AMBIENT = {0.5f, 0.5f, 0.5f};
    k.SPECULAR = {0.25f, 0.25f, 0.25f};
    k.SHINE = 32;
    k.RECEIVELIGHT = 1;
}

float mat_clamp01(float v)
{
    return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 0.0f;
}

KST_RGB mat_rgb(const aiColor4D& c)
{
    return {mat_clamp01(c.r), mat_clamp01(c.g), mat_clamp01(c.b)};
}

bool mat_color(const aiMaterial& m, const char* key, unsigned type, unsigned index, aiColor4D& out)
{
    return m.Get(key, type, index, out) == AI_SUCCESS;
}

float mat_brightness(const KST_RGB& c)
{
    return std::max({c.R, c.G, c.B});
}

// Opacity in 0..1 (1 when absent); 0 is taken as opaque with a warning, since
// exporters write 0 for "not set" at least as often as for "invisible".
float mat_opacity(imp_state& st, const aiMaterial& m, const std::string& name, const aiColor4D* base)
{
    float opacity = 1.0f;
    if (m.Get(AI_MATKEY_OPACITY, opacity) != AI_SUCCESS)
        opacity = 1.0f;
    if (base && base->a < opacity)
        opacity = base->a;
    if (!std::isfinite(opacity) || opacity > 1.0f)
        opacity = 1.0f;
    if (opacity <= 0.0f) {
        st.warn("material " + name + ": opacity 0 taken as opaque");
        opacity = 1.0f;
    }
    return opacity;
}


bool mat_read_file(const fs::path& path, std::vector<uint8_t>& bytes)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return false;
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.good() || in.eof();
}

// The file a texture path names, tried as given, with '\' as '/', and by its
// bare name beside the model.
bool mat_find_file(const imp_state& st, std::string path, std::vector<uint8_t>& bytes)
{
    if (st.opt.model_dir.empty() || path.empty())
        return false;
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.rfind("file://", 0) == 0)
        path = path.substr(7);
    fs::path dir(st.opt.model_dir);
    std::error_code ec;
    fs::path p(path);
    const fs::path tries[] = {p.is_absolute() ? p : dir / p, dir / p.filename()};
    for (const fs::path& t : tries)
        if (mat_read_file(t, bytes))
            return true;
    // Files written on Windows often name their images in another case.
    std::string want = imp_lower(p.filename().string());
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec))
        if (imp_lower(e.path().filename().string()) == want && mat_read_file(e.path(), bytes))
            return true;
    return false;
}

bool mat_embedded(const aiTexture& tex, kst_import_texture& out)
{
    if (!tex.pcData)
        return false;
    if (tex.mHeight == 0)
        return kst_import_decode_image(reinterpret_cast<const uint8_t*>(tex.pcData), tex.mWidth, out);
    if (tex.mWidth > 16384 || tex.mHeight > 16384)
        return false;
    const size_t n = static_cast<size_t>(tex.mWidth) * tex.mHeight;
    std::vector<uint8_t> rgba(n * 4);
    bool alpha = false;
    for (size_t i = 0; i < n; ++i) {
        const aiTexel& t = tex.pcData[i];
        rgba[4 * i] = t.r, rgba[4 * i + 1] = t.g, rgba[4 * i + 2] = t.b, rgba[4 * i + 3] = t.a;
        alpha = alpha || t.a != 255;
    }
    if (!alpha) {
        for (size_t i = 0; i < n; ++i)
            std::copy_n(&rgba[4 * i], 3, &rgba[3 * i]);
    }
    kst_import_resize_image(rgba.data(), static_cast<int>(tex.mWidth), static_cast<int>(tex.mHeight),
                            alpha ? 4 : 3, out);
    return true;
}

bool mat_load_image(const imp_state& st, const std::string& path, kst_import_texture& out)
{
    if (const aiTexture* tex = st.ai.GetEmbeddedTexture(path.c_str()))
        return mat_embedded(*tex, out);
    if (!path.empty() && path[0] == '*')
        return false;
    std::vector<uint8_t> bytes;
    return mat_find_file(st, path, bytes) && kst_import_decode_image(bytes.data(), bytes.size(), out);
}

// Texture file names: letters, digits, '-', '_' and '.' only, and short: the
// prefix and the image's name are cut to 40 characters each, so that a name
// stays under 100 and "folder/name" fits the 255 characters the texture
// manager reads from any folder of reasonable depth.
constexpr size_t mat_name_part = 40;

std::string mat_clean(const std::string& text)
{
    std::string out;
    for (unsigned char c : text)
        out += (std::isalnum(c) || c == '-' || c == '_') ? static_cast<char>(c) : '_';
    return out.substr(0, mat_name_part);
}

std::string mat_texture_name(imp_state& st, const std::string& source, bool alpha_only)
{
    std::string stem = alpha_only ? "opacity" : fs::path(source).stem().string();
    if (stem.empty() || stem[0] == '*')
        stem = "embedded" + (stem.size() > 1 ? stem.substr(1) : std::string());
    std::string prefix = st.opt.texture_prefix.empty() ? "model" : st.opt.texture_prefix;
    std::string base = mat_clean(prefix) + "-" + mat_clean(stem);
    std::string name = base + ".raw";
    for (int i = 2; st.texture_names.count(name); ++i)
        name = base + "-" + std::to_string(i) + ".raw";
    st.texture_names.insert(name);
    return name;
}

// Folds the opacity into the alpha channel (RGB images become RGBA).
void mat_apply_opacity(kst_import_texture& t, float opacity)
{
    if (opacity >= mat_opaque)
        return;
    const size_t n = t.pixels.size() / t.channels;
    std::vector<uint8_t> rgba(n * 4);
    for (size_t i = 0; i < n; ++i) {
        std::copy_n(&t.pixels[i * t.channels], 3, &rgba[4 * i]);
        float a = t.channels == 4 ? t.pixels[i * 4 + 3] : 255.0f;
        rgba[4 * i + 3] = static_cast<uint8_t>(std::lround(a * opacity));
    }
    t.channels = 4;
    t.pixels.swap(rgba);
}

// An RGBA image as RGB: glTF's OPAQUE mode ignores alpha.
void mat_drop_alpha(kst_import_texture& t)
{
    if (t.channels != 4)
        return;
    const size_t n = t.pixels.size() / 4;
    for (size_t i = 0; i < n; ++i)
        std::copy_n(&t.pixels[4 * i], 3, &t.pixels[3 * i]);
    t.pixels.resize(n * 3);
    t.channels = 3;
}

// The texture for (source image, opacity); "" when there is none. `channels`
// gets 3 or 4.
std::string mat_texture(imp_state& st, const std::string& source, float opacity, const std::string& mname,
                        int& channels, bool drop_alpha = false)
{
    int key_opacity = drop_alpha ? -1 : static_cast<int>(std::lround(opacity * 1000.0f));
    auto cached = st.texture_cache.find({source, key_opacity});
    if (cached != st.texture_cache.end()) {
        for (const kst_import_texture& t : st.textures)
            if (t.name == cached->second)
                channels = t.channels;
        return cached->second;
    }
    kst_import_texture tex;
    if (source.empty()) {
        tex.channels = 4;
        tex.pixels.assign(256 * 256 * 4, 255);
    } else if (!mat_load_image(st, source, tex)) {
        st.warn("material " + mname + ": texture " + source + " not found or not an image; untextured");
        return "";
    }
    if (drop_alpha)
        mat_drop_alpha(tex);
    else
        mat_apply_opacity(tex, opacity);
    tex.name = mat_texture_name(st, source, source.empty());
    channels = tex.channels;
    st.textures.push_back(std::move(tex));
    st.texture_cache[{source, key_opacity}] = st.textures.back().name;
    return st.textures.back().name;
}

std::string mat_texture_path(const aiMaterial& m)
{
    aiString path;
    for (aiTextureType type : {aiTextureType_BASE_COLOR, aiTextureType_DIFFUSE})
        if (m.GetTextureCount(type) > 0 && m.GetTexture(type, 0, &path) == AI_SUCCESS && path.length > 0)
            return path.C_Str();
    return "";
}

void mat_colours(const aiMaterial& m, KST_MATERIAL& k, aiColor4D& base, bool& has_base)
{
    aiColor4D c(0.8f, 0.8f, 0.8f, 1.0f);
    has_base = mat_color(m, AI_MATKEY_BASE_COLOR, c);
    if (!has_base)
        mat_color(m, AI_MATKEY_COLOR_DIFFUSE, c);
    base = c;
    k.DIFFUSE = mat_rgb(c);
    aiColor4D amb(0, 0, 0, 1), spec(0, 0, 0, 1), emi(0, 0, 0, 1);
    mat_color(m, AI_MATKEY_COLOR_AMBIENT, amb);
    mat_color(m, AI_MATKEY_COLOR_SPECULAR, spec);
    mat_color(m, AI_MATKEY_COLOR_EMISSIVE, emi);
    KST_RGB a = mat_rgb(amb), e = mat_rgb(emi);
    if (mat_brightness(a) <= 0.0f)
        a = k.DIFFUSE;
    k.AMBIENT = {mat_clamp01(a.R + e.R), mat_clamp01(a.G + e.G), mat_clamp01(a.B + e.B)};
    k.SPECULAR = mat_rgb(spec);
    float shine = 0.0f;
    if (m.Get(AI_MATKEY_SHININESS, shine) != AI_SUCCESS || !std::isfinite(shine))
        shine = 0.0f;
    k.SHINE = static_cast<int32_t>(std::clamp(shine, 0.0f, 128.0f));
    k.RECEIVELIGHT = 1;
    if (mat_brightness(e) > 0.0f && mat_brightness(k.DIFFUSE) < 0.05f) {
        k.AMBIENT = e;
        k.RECEIVELIGHT = 0;
    }
}

std::string mat_name(imp_state& st, const aiMaterial& m, unsigned index)
{
    aiString n;
    std::string base = (m.Get(AI_MATKEY_NAME, n) == AI_SUCCESS && n.length > 0)
                           ? std::string(n.C_Str())
                           : "material" + std::to_string(index);
    return imp_unique_name(st.material_names, base);
}

// Textures, passes and blending. Without an alpha mode: opacity below 1
// blends (pass 1), a texture with alpha at full opacity is a cut-out at 0.5
// (pass 2). glTF's modes: OPAQUE ignores every alpha (the texture's is
// dropped), MASK is the alpha test at alphaCutoff (pass 2, depth writes on),
// BLEND blends whatever alpha there is (pass 1, depth writes off).
void mat_surface(imp_state& st, const aiMaterial& m, KST_MATERIAL& k, imp_material& info, float opacity,
                 const std::string& name, const mat_alpha_use& alpha)
{
    int channels = 3;
    const bool opaque = alpha.mode == mat_alpha::opaque;
    std::string source = mat_texture_path(m);
    std::string tex;
    if (!source.empty())
        tex = mat_texture(st, source, opacity, name, channels, opaque);
    if (tex.empty() && opacity < mat_opaque && !opaque)
        tex = mat_texture(st, "", opacity, name, channels);
    if (!tex.empty()) {
        kst_name_set(k.TEXTNAME, tex);
        k.TEXTURED = 1;
    }
    const bool has_alpha = !tex.empty() && channels == 4;
    const bool blend = alpha.mode == mat_alpha::blend ? has_alpha
                                                      : alpha.mode == mat_alpha::unsaid && opacity < mat_opaque;
    if (blend) {
        info.pass = 1;
        k.BLEND = 2;
        k.DEPTHTEST = 1;
    } else if (alpha.mode == mat_alpha::mask && has_alpha) {
        info.pass = 2;
        k.ALPHATEST = alpha.cutoff;
    } else if (alpha.mode == mat_alpha::unsaid && has_alpha) {
        info.pass = 2;
        k.ALPHATEST = 0.5f;
    }
    int two = 0;
    info.two_sided = m.Get(AI_MATKEY_TWOSIDED, two) == AI_SUCCESS && two != 0;
}

}  // namespace

imp_material imp_material_get(imp_state& st, unsigned ai_index)
{
    auto found = st.material_map.find(ai_index);
    if (found != st.material_map.end())
        return found->second;
    if (st.materials.size() >= static_cast<size_t>(KST_MAX_MATERIALS))
        fatal_raise(st.source + ": more than " + std::to_string(KST_MAX_MATERIALS) +
                    " materials; a scene holds at most that many");
    KST_MATERIAL k{};
    imp_material info;
    aiMaterial empty;
    const aiMaterial& m = (ai_index < st.ai.mNumMaterials && st.ai.mMaterials[ai_index])
                              ? *st.ai.mMaterials[ai_index]
                              : empty;
    std::string name = mat_name(st, m, ai_index);
    kst_name_set(k.NAME, name);
    aiColor4D base;
    bool has_base = false;
    mat_colours(m, k, base, has_base);
    if (mat_is_default(m))
        mat_neutral(k);
    const mat_alpha_use alpha = mat_alpha_mode(m);
    float opacity = alpha.mode == mat_alpha::opaque ? 1.0f : mat_opacity(st, m, name, has_base ? &base : nullptr);
    // The opacity is carried by the texture's alpha (below); CONSTANTALPHA,
    // which unlit surfaces multiply in again, stays 1 so it counts once.
    k.TRANSPARENCY = 1.0f - opacity;
    k.CONSTANTALPHA = 1.0f;
    k.UTILE = k.VTILE = 1.0f;
    k.MAGTYPE = 3;
    k.TEXTURETYPE = 24;
    mat_surface(st, m, k, info, opacity, name, alpha);
    info.index = static_cast<int32_t>(st.materials.size());
    st.materials.push_back(k);
    st.material_map[ai_index] = info;
    return info;
}
