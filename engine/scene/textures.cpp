// engine/scene/textures.cpp - binding a scene's textures through the texture manager.
//
// A loaded scene only names its textures. KST_SCENE_TEXTURES asks the texture
// manager for the texture of every textured material (with the material's
// filter type), the environment map of every environment-mapped material and the
// particle texture of every emitting object (both always mipmapped and linear,
// type 3), and stores the GL names in the scene; KST_SCENE_FREETEXTURES gives
// back exactly what was acquired, by the same conditions. A binding that fails
// half-way gives back what it acquired and leaves every name 0, so the scene
// can be released as usual. Sharing between
// materials and objects comes from the manager's reference counts.
//
// A material whose texture name is exactly "$framebuffer$.jpg" loads no file and
// takes TX_FRAMEBUFFER instead: 0 until KST_FRAMEBUFFER_INIT creates the
// framebuffer texture and hands its name there, that texture afterwards.
// Releasing it is harmless: the manager ignores names it does not hold.
#include "engine/scene/textures.h"

#include <algorithm>

#include "engine/textures/texture_manager.h"

// --- internal helpers ---------------------------------------------------------
static const char* const kst_framebuffer_name = "$framebuffer$.jpg";

static std::string kst_texture_path(const std::string& directory, const KST_NAME& name)
{
    return (directory + "/" + kst_name_get(name)).substr(0, 255);
}

static bool kst_object_has_particle_texture(const KST_OBJECT& object)
{
    return object.PARTICLE.ENABLED && object.PARTICLE.TEXTURENAME.LEN > 0;
}

static void kst_material_textures(KST_MATERIAL& m, const std::string& directory)
{
    if (m.TEXTURED) {
        if (kst_name_equals(m.TEXTNAME, kst_framebuffer_name)) {
            m.TEXTURE = static_cast<int32_t>(TX_FRAMEBUFFER);
        } else {
            m.TEXTURE = static_cast<int32_t>(TX_LOAD(kst_texture_path(directory, m.TEXTNAME), m.MAGTYPE));
            m.TEXTURETYPE = static_cast<uint8_t>(TX_BPP(static_cast<uint32_t>(m.TEXTURE)));
        }
    }
    if (m.ENVMAP)
        m.ENVTEXTURE = static_cast<int32_t>(TX_LOAD(kst_texture_path(directory, m.ENVTEXTNAME), 3));
}

// Clears the GL names the binding is about to fill, so that after a failure
// half-way every name that was not acquired is 0, which releasing ignores.
static void kst_clear_texture_names(KST_SCENE& scene)
{
    for (int32_t i = 0; scene.MATERIAL && i < scene.MATERIALS; ++i) {
        KST_MATERIAL& m = scene.MATERIAL[i];
        if (m.TEXTURED)
            m.TEXTURE = 0;
        if (m.ENVMAP)
            m.ENVTEXTURE = 0;
    }
    for (int32_t i = 0; scene.OBJ && i < scene.OBJECTS; ++i)
        if (kst_object_has_particle_texture(scene.OBJ[i]))
            scene.OBJ[i].PARTICLE.TEXTURE = 0;
}

static void kst_add_name(std::vector<std::string>& names, const std::string& name)
{
    if (std::find(names.begin(), names.end(), name) == names.end())
        names.push_back(name);
}

// --- public functions ---------------------------------------------------------
void KST_SCENE_TEXTURES(KST_SCENE& scene, const std::string& directory)
{
    kst_clear_texture_names(scene);
    try {
        for (int32_t i = 0; scene.MATERIAL && i < scene.MATERIALS; ++i)
            kst_material_textures(scene.MATERIAL[i], directory);
        for (int32_t i = 0; scene.OBJ && i < scene.OBJECTS; ++i) {
            KST_PARTICLEDATA& p = scene.OBJ[i].PARTICLE;
            if (kst_object_has_particle_texture(scene.OBJ[i]))
                p.TEXTURE = static_cast<int32_t>(TX_LOAD(kst_texture_path(directory, p.TEXTURENAME), 3));
        }
    } catch (...) {
        KST_SCENE_FREETEXTURES(scene);   // what was acquired before the failure
        kst_clear_texture_names(scene);
        throw;
    }
}

void KST_SCENE_FREETEXTURES(KST_SCENE& scene)
{
    for (int32_t i = 0; scene.MATERIAL && i < scene.MATERIALS; ++i) {
        const KST_MATERIAL& m = scene.MATERIAL[i];
        if (m.TEXTURED)
            TX_RELEASE(static_cast<uint32_t>(m.TEXTURE));
        if (m.ENVMAP)
            TX_RELEASE(static_cast<uint32_t>(m.ENVTEXTURE));
    }
    for (int32_t i = 0; scene.OBJ && i < scene.OBJECTS; ++i)
        if (kst_object_has_particle_texture(scene.OBJ[i]))
            TX_RELEASE(static_cast<uint32_t>(scene.OBJ[i].PARTICLE.TEXTURE));
}

std::string kst_scene_texture_file(const std::string& directory, const KST_NAME& name)
{
    return tx_file_for(kst_texture_path(directory, name));
}

std::vector<std::string> kst_scene_texture_names(const KST_SCENE& scene, const std::string& directory)
{
    std::vector<std::string> names;
    for (int32_t i = 0; scene.MATERIAL && i < scene.MATERIALS; ++i) {
        const KST_MATERIAL& m = scene.MATERIAL[i];
        if (m.TEXTURED && !kst_name_equals(m.TEXTNAME, kst_framebuffer_name))
            kst_add_name(names, kst_texture_path(directory, m.TEXTNAME));
        if (m.ENVMAP)
            kst_add_name(names, kst_texture_path(directory, m.ENVTEXTNAME));
    }
    for (int32_t i = 0; scene.OBJ && i < scene.OBJECTS; ++i)
        if (kst_object_has_particle_texture(scene.OBJ[i]))
            kst_add_name(names, kst_texture_path(directory, scene.OBJ[i].PARTICLE.TEXTURENAME));
    return names;
}

void kst_scene_texture_types(KST_SCENE& scene)
{
    for (int32_t i = 0; scene.MATERIAL && i < scene.MATERIALS; ++i) {
        KST_MATERIAL& m = scene.MATERIAL[i];
        int32_t bpp = m.TEXTURED ? TX_BPP(static_cast<uint32_t>(m.TEXTURE)) : 0;
        if (bpp != 0)
            m.TEXTURETYPE = static_cast<uint8_t>(bpp);
    }
}
